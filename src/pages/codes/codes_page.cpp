#include "pages/codes/codes_page.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "pages/codes/code_dialog.h"
#include "pages/common/partition_list_widget.h"
#include "pages/codes/rearm_code_dialog.h"
#include "widgets/dialog_placement.h"
#include "widgets/value_list_editor.h"

namespace kv6::pages {

namespace {

using widgets::ValueListEditor;

constexpr int kCode99Row = CodesModel::kUserCodes;  // the row after "Код 24"
// The grids scroll inside the window's fixed client area.
constexpr int kGridMinimumHeight = 160;
const QColor kRearmColour(0, 128, 0);

QString qs(const std::string& text) { return QString::fromStdString(text); }
std::string ss(const QString& text) { return text.toStdString(); }

ValueListEditor::RowSpec row(const QString& key, const QString& mask, bool readOnly) {
    ValueListEditor::RowSpec spec;
    spec.key = key;
    spec.editMask = mask;
    spec.readOnly = readOnly;
    spec.ellipsis = readOnly;
    return spec;
}

QString codeMask(int length) { return QString(length, QLatin1Char('0')); }

}  // namespace

CodesPage::CodesPage(CodesModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
                     QWidget* parent)
    : PageWidget(model, workspace, prompts, link, parent),
      m_model(model),
      m_form7(std::make_unique<TForm7>()),
      m_form3(std::make_unique<TForm3>()),
      m_runDialog([this](QDialog& dialog) {
          widgets::centreOnWindowOf(dialog, *this);  // the dialogs have no parent to be centred on
          return dialog.exec();
      }) {
    setObjectName(QStringLiteral("CodesPage"));
    auto* grids = new QHBoxLayout;
    grids->addWidget(buildCodes(), 1);
    grids->addWidget(buildObjects(), 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(buildCodeLength());
    bottom->addWidget(buildLegacyTable());
    bottom->addStretch(1);
    SpeedButton14 = createWriteButton(QStringLiteral("SpeedButton14"));
    bottom->addWidget(SpeedButton14);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(grids, 1);
    outer->addLayout(bottom);
    for (QDialog* dialog : {static_cast<QDialog*>(m_form7.get()), static_cast<QDialog*>(m_form3.get())})
        dialog->setWindowModality(Qt::ApplicationModal);
    // A code's row stands for what its dialog sets.
    for (int code = 1; code <= CodesModel::kUserCodes; ++code) {
        const std::string n = std::to_string(code);
        marks().addCell(ValueListEditor9, code - 1, 1, {"code" + n, "partitions" + n, "bypass" + n});
    }
    marks().addCell(ValueListEditor9, CodesModel::kUserCodes, 1, {"code99Partitions", "code99Bypass"});
    for (int p = 1; p <= CodesModel::kPartitionObjects; ++p)
        marks().addCell(ValueListEditor6, p - 1, 1, {"partitionObject" + std::to_string(p)});
    marks().addEditor(ComboBox9, "codeLength");
    refreshFromModel();
}

CodesPage::~CodesPage() = default;

QWidget* CodesPage::buildCodes() {
    auto* group = new QGroupBox(tr("Коды - Разделы"), this);
    ValueListEditor9 = new ValueListEditor(group);
    ValueListEditor9->setObjectName(QStringLiteral("ValueListEditor9"));
    ValueListEditor9->setTitles(tr("Код"), tr("Значение"));
    for (int code = 1; code <= CodesModel::kUserCodes; ++code)
        ValueListEditor9->addRow(row(tr("Код %1").arg(code), codeMask(4), true));
    ValueListEditor9->addRow(row(tr("Код 99"), {}, true));
    connect(ValueListEditor9, &ValueListEditor::editButtonClicked, this, &CodesPage::ValueListEditor9EditButtonClick);
    ValueListEditor9->setMinimumHeight(kGridMinimumHeight);
    (new QVBoxLayout(group))->addWidget(ValueListEditor9);
    return group;
}

QWidget* CodesPage::buildObjects() {
    auto* group = new QGroupBox(tr("Раздел/Объект"), this);
    ValueListEditor6 = new ValueListEditor(group);
    ValueListEditor6->setObjectName(QStringLiteral("ValueListEditor6"));
    ValueListEditor6->setTitles(tr(" Раздел  "), tr(" Номер объекта"));
    // One to four digits; a shorter number is stored padded on the left.
    for (int p = 1; p <= CodesModel::kPartitionObjects; ++p) {
        ValueListEditor::RowSpec spec = row(tr("Раздел %1").arg(p), QStringLiteral("9999"), false);
        spec.allowedPattern = QStringLiteral("[0-9]{0,4}");
        ValueListEditor6->addRow(spec);
    }
    connect(ValueListEditor6, &ValueListEditor::valuesChanged, this, &CodesPage::ValueListEditor6StringsChange);
    ValueListEditor6->setMinimumHeight(kGridMinimumHeight);
    (new QVBoxLayout(group))->addWidget(ValueListEditor6);
    return group;
}

QWidget* CodesPage::buildCodeLength() {
    auto* box = new QWidget(this);
    m_codeLengthRow = new QHBoxLayout(box);
    m_codeLengthRow->setContentsMargins(0, 0, 0, 0);
    m_codeLengthRow->addWidget(new QLabel(tr("Кол-во знаков в кодах пользователей"), box));
    ComboBox9 = new QComboBox(box);
    ComboBox9->setObjectName(QStringLiteral("ComboBox9"));
    ComboBox9->addItems({QStringLiteral("4"), QStringLiteral("6")});
    m_codeLengthRow->addWidget(ComboBox9);
    connect(ComboBox9, &QComboBox::currentIndexChanged, this, &CodesPage::ComboBox9Change);
    return box;
}

QWidget* CodesPage::buildLegacyTable() {
    GroupBox4 = new QGroupBox(tr("Коды пользователей / перепостановочные разделы "), this);
    GroupBox4->setObjectName(QStringLiteral("GroupBox4"));
    ValueListEditor4 = new ValueListEditor(GroupBox4);
    ValueListEditor4->setObjectName(QStringLiteral("ValueListEditor4"));
    ValueListEditor4->setTitles(tr("Код"), tr("Значение"));
    for (int n = 1; n <= CodesModel::kLegacyCodes; ++n) ValueListEditor4->addRow(row(tr("Код %1").arg(n), {}, true));
    CheckListBox1 = new PartitionListWidget(GroupBox4);
    CheckListBox1->setObjectName(QStringLiteral("CheckListBox1"));
    auto* layout = new QHBoxLayout(GroupBox4);
    layout->addWidget(ValueListEditor4);
    layout->addWidget(CheckListBox1);
    connect(ValueListEditor4, &ValueListEditor::editButtonClicked, this, &CodesPage::ValueListEditor4EditButtonClick);
    connect(CheckListBox1, &QListWidget::itemChanged, this, &CodesPage::CheckListBox1ClickCheck);
    GroupBox4->hide();
    return GroupBox4;
}

void CodesPage::hostCodeDigits(QWidget* upDown3) {
    if (!upDown3) return;
    const bool hidden = upDown3->isHidden();
    m_codeLengthRow->addWidget(upDown3);
    upDown3->setHidden(hidden);
}

void CodesPage::ValueListEditor9EditButtonClick(int rowIndex) {
    if (rowIndex < 0 || rowIndex > kCode99Row) return;
    const bool code99 = rowIndex == kCode99Row;
    const int code = code99 ? CodesModel::kCode99 : rowIndex + 1;
    TForm7& dialog = *m_form7;
    dialog.setCodeLength(m_model.codeLength());
    dialog.load(ValueListEditor9->key(rowIndex), ValueListEditor9->value(rowIndex), m_model.bypass(code),
                m_model.partitionMask(code));
    if (m_runDialog(dialog) != QDialog::Accepted) return;
    // The partitions and the bypass are kept in ReceivedImage; code 99's row value stays.
    m_model.setBypass(code, dialog.bypass());
    m_model.setPartitionMask(code, dialog.partitions());
    if (code99) {
        CheckListBox1->setMask(dialog.partitions());  // the hidden list shows the same byte 243
    } else {
        m_model.values().codes[rowIndex] = ss(dialog.code());
        ValueListEditor9->setValue(rowIndex, dialog.code());
        raiseEntry(CodesModel::kEntryCodes);
    }
}

void CodesPage::ValueListEditor4EditButtonClick(int rowIndex) {
    if (rowIndex < 0 || rowIndex >= CodesModel::kLegacyCodes) return;
    const int number = rowIndex + 1;
    TForm3& dialog = *m_form3;
    auto& v = m_model.values();
    dialog.load(number, ValueListEditor4->value(rowIndex), v.rearmCode == number);
    if (m_runDialog(dialog) != QDialog::Accepted) return;
    v.legacyCodes[rowIndex] = ss(dialog.code());
    ValueListEditor4->setValue(rowIndex, dialog.code());
    if (dialog.rearm())
        v.rearmCode = number;
    else if (v.rearmCode == number)
        v.rearmCode = 0;
    showLegacyKeys();
    raiseEntry(CodesModel::kEntryCodes);
}

void CodesPage::ValueListEditor6StringsChange(int rowIndex) {
    if (rowIndex < 0 || rowIndex >= CodesModel::kPartitionObjects) return;
    // The whole array follows all sixteen rows, each as it is stored ("12" -> "0012").
    for (int p = 0; p < CodesModel::kPartitionObjects; ++p) {
        const std::string stored = CodesModel::normalisedObjectNumber(ss(ValueListEditor6->value(p)));
        m_model.values().partitionObjects[p] = stored;
        ValueListEditor6->setValue(p, qs(stored));
    }
    raiseEntry(CodesModel::kEntryObjects);
}

void CodesPage::ComboBox9Change(int index) {
    if (refreshing()) return;
    m_model.setSixDigits(index == 1);
    raiseEntry(CodesModel::kEntryCodeLength);
    applyCodeLength();
    showCodes();
    ValueListEditor9->setCurrentCell(0, 1);
}

// The hidden list and the code 99 dialog edit the same byte 243.
void CodesPage::CheckListBox1ClickCheck() {
    if (refreshing()) return;
    m_model.setPartitionMask(CodesModel::kCode99, CheckListBox1->mask());
    raiseEntry(CodesModel::kEntryRearmPartitions);
}

void CodesPage::applyCodeLength() {
    const int length = m_model.codeLength();
    for (int r = 0; r < CodesModel::kUserCodes; ++r) ValueListEditor9->setEditMask(r, codeMask(length));
    m_form7->setCodeLength(length);
}

void CodesPage::showCodes() {
    const auto& codes = m_model.values().codes;
    for (int r = 0; r < CodesModel::kUserCodes; ++r) ValueListEditor9->setValue(r, qs(codes[r]));
}

// "Код N", and for the re-arming code "(Перепостановка)" appended, in green.
void CodesPage::showLegacyKeys() {
    const int rearm = m_model.values().rearmCode;
    for (int r = 0; r < CodesModel::kLegacyCodes; ++r) {
        QTableWidgetItem* key = ValueListEditor4->item(r, 0);
        const bool marked = rearm == r + 1;
        key->setText(tr("Код %1").arg(r + 1) + (marked ? tr("(Перепостановка)") : QString()));
        key->setForeground(marked ? QBrush(kRearmColour) : QBrush());
    }
}

void CodesPage::refreshFromModel() {
    const RefreshScope scope(*this);
    const CodesModel::Values& v = m_model.values();
    ComboBox9->setCurrentIndex(v.sixDigits ? 1 : 0);
    applyCodeLength();
    showCodes();
    ValueListEditor9->setValue(kCode99Row, {});
    for (int p = 0; p < CodesModel::kPartitionObjects; ++p) ValueListEditor6->setValue(p, qs(v.partitionObjects[p]));
    for (int r = 0; r < CodesModel::kLegacyCodes; ++r) ValueListEditor4->setValue(r, qs(v.legacyCodes[r]));
    showLegacyKeys();
    CheckListBox1->setMask(m_model.partitionMask(CodesModel::kCode99));
    ValueListEditor9->setCurrentCell(0, 1);
}

}  // namespace kv6::pages
