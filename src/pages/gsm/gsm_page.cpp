#include "pages/gsm/gsm_page.h"

#include <QBrush>
#include <QColor>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include "pages/gsm/gsm_number_dialog.h"
#include "widgets/dialog_placement.h"
#include "widgets/spin_edit.h"
#include "widgets/value_list_editor.h"

namespace kv6::pages {

namespace {

using widgets::ValueListEditor;

constexpr int kCountryRow = GsmModel::kNumberCount;  // row 11

}  // namespace

GsmPage::GsmPage(GsmModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link, QWidget* parent)
    : PageWidget(model, workspace, prompts, link, parent),
      m_model(model),
      m_runDialog([this](TForm2& dialog) {
          widgets::centreOnWindowOf(dialog, *this);  // the dialog has no parent to be centred on
          return dialog.exec() == QDialog::Accepted;
      }) {
    setObjectName(QStringLiteral("GsmPage"));
    ValueListEditor3 = new ValueListEditor(this);
    ValueListEditor3->setObjectName(QStringLiteral("ValueListEditor3"));
    ValueListEditor3->setTitles(tr("GSM номер"), tr("Значение"));
    for (int n = 1; n <= GsmModel::kNumberCount; ++n) {
        ValueListEditor::RowSpec spec;
        spec.key = tr("GSM номер ") + QString::number(n);
        spec.readOnly = true;
        spec.ellipsis = true;
        ValueListEditor3->addRow(spec);
    }
    ValueListEditor::RowSpec country;
    country.key = tr("Код Страны");
    country.editMask = QStringLiteral("0");
    ValueListEditor3->addRow(country);
    connect(ValueListEditor3, &ValueListEditor::valuesChanged, this, &GsmPage::ValueListEditor3StringsChange);
    connect(ValueListEditor3, &ValueListEditor::editButtonClicked, this, [this](int row) {
        if (row < GsmModel::kNumberCount) ValueListEditor3EditButtonClick(row);
    });

    Input1Group = buildInput(tr("Вход 1, параметры тревоги"), 1, ComboBox1, UpDown1);
    Input2Group = buildInput(tr("Вход 2, параметры тревоги"), 2, ComboBox2, UpDown2);
    Input1Group->hide();
    Input2Group->hide();

    SpeedButton12 = createWriteButton(QStringLiteral("SpeedButton12"));
    auto* right = new QVBoxLayout;
    right->addWidget(Input1Group);
    right->addWidget(Input2Group);
    right->addStretch(1);
    right->addWidget(SpeedButton12, 0, Qt::AlignRight);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(ValueListEditor3, 2);
    layout->addLayout(right, 1);
    // A number's row also stands for what its dialog sets.
    for (int n = 1; n <= GsmModel::kNumberCount; ++n) {
        const std::string i = std::to_string(n);
        marks().addCell(ValueListEditor3, n - 1, 1, {"number" + i, "code" + i, "function" + i, "partition" + i});
    }
    marks().addCell(ValueListEditor3, GsmModel::kNumberCount, 1, {"countryCode"});
    marks().addEditor(ComboBox1, "input1AlarmNumber");
    marks().addEditor(UpDown1, "input1AlarmKey");
    marks().addEditor(ComboBox2, "input2AlarmNumber");
    marks().addEditor(UpDown2, "input2AlarmKey");
    refreshFromModel();
}

GsmPage::~GsmPage() = default;

QGroupBox* GsmPage::buildInput(const QString& title, int index, QComboBox*& list, widgets::SpinEdit*& key) {
    auto* group = new QGroupBox(title, this);
    list = new QComboBox(group);
    list->setObjectName(QStringLiteral("ComboBox%1").arg(index));
    list->addItem(tr("Нет"));
    for (int n = 1; n <= GsmModel::kNumberCount; ++n) list->addItem(tr("GSM номер ") + QString::number(n));
    key = new widgets::SpinEdit(QStringLiteral("UpDown%1").arg(index), QStringLiteral("Edit%1").arg(index), group);
    key->setRange(GsmModel::kMinKey, GsmModel::kMaxKey);
    key->setMaxTypedLength(2);
    auto* form = new QFormLayout(group);
    form->addRow(tr("GSM номер тревоги"), list);
    form->addRow(tr("Ключ тревоги"), key);
    // ComboBox1Change, Edit1Change and the same of input 2.
    int GsmModel::Values::*number = index == 1 ? &GsmModel::Values::input1Number : &GsmModel::Values::input2Number;
    int GsmModel::Values::*alarmKey = index == 1 ? &GsmModel::Values::input1Key : &GsmModel::Values::input2Key;
    connect(list, &QComboBox::currentIndexChanged, this, [this, number](int i) {
        if (refreshing()) return;
        m_model.values().*number = i;
        raiseEntry(GsmModel::kEntryInputs);
    });
    connect(key, &QSpinBox::valueChanged, this, [this, alarmKey](int value) {
        if (refreshing()) return;
        m_model.values().*alarmKey = value;
        raiseEntry(GsmModel::kEntryInputs);
    });
    return group;
}

TForm2& GsmPage::numberDialog() {
    if (!m_dialog) m_dialog = std::make_unique<TForm2>();
    return *m_dialog;
}

void GsmPage::ValueListEditor3EditButtonClick(int row) {
    const int number = row + 1;
    if (number < 1 || number > GsmModel::kNumberCount) return;
    TForm2& dialog = numberDialog();
    dialog.load(number, m_model.openNumberDialog(number));
    if (!m_runDialog(dialog)) return;
    raiseEntry(GsmModel::entryOfNumber(number));
    m_model.applyNumberDialog(number, dialog.result());
    ValueListEditor3->setValue(row, QString::fromStdString(m_model.values().numbers[row]));
    ValueListEditor3DrawKeys();
}

void GsmPage::ValueListEditor3StringsChange(int row) {
    if (row != kCountryRow) return;
    m_model.values().countryCode = ValueListEditor3->value(kCountryRow).toStdString();
    raiseEntry(GsmModel::kEntryLastPair);
}

void GsmPage::ValueListEditor3DrawKeys() {
    struct Look {
        std::uint8_t function;
        const char* label;
        QColor colour;
    };
    static const Look kLooks[] = {
        {GsmModel::kFunctionControl, QT_TR_NOOP("(Контроль)"), QColor(255, 0, 0)},
        {GsmModel::kFunctionService, QT_TR_NOOP("(Сервис)"), QColor(128, 0, 0)},
        {GsmModel::kFunctionRearm, QT_TR_NOOP("(Перепостановка)"), QColor(0, 128, 0)},
        {GsmModel::kFunctionArmDisarm, QT_TR_NOOP("(Постановка/Снятие)"), QColor(0, 0, 255)},
    };
    for (int n = 1; n <= GsmModel::kNumberCount; ++n) {
        QString text = tr("GSM номер ") + QString::number(n);
        QColor colour(Qt::black);
        for (const Look& look : kLooks) {
            if (look.function != m_model.function(n)) continue;
            text += tr(look.label);
            colour = look.colour;
        }
        QTableWidgetItem* key = ValueListEditor3->item(n - 1, 0);
        key->setText(text);
        key->setForeground(QBrush(colour));
    }
    // The key column grows to the longest label.
    ValueListEditor3->resizeColumnToContents(0);
}

void GsmPage::refreshFromModel() {
    const RefreshScope scope(*this);
    const GsmModel::Values v = m_model.values();
    for (int n = 1; n <= GsmModel::kNumberCount; ++n)
        ValueListEditor3->setValue(n - 1, QString::fromStdString(v.numbers[n - 1]));
    ValueListEditor3->setValue(kCountryRow, QString::fromStdString(v.countryCode));
    ComboBox1->setCurrentIndex(v.input1Number);
    UpDown1->setValue(v.input1Key);
    ComboBox2->setCurrentIndex(v.input2Number);
    UpDown2->setValue(v.input2Key);
    m_model.values() = v;
    ValueListEditor3DrawKeys();
}

}  // namespace kv6::pages
