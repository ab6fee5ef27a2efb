#include "pages/sms/sms_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include "image/win1251.h"
#include "widgets/value_list_editor.h"

namespace kv6::pages {

namespace {

constexpr int kGridMinimumHeight = 160;

using widgets::ValueListEditor;

// Any printable character that Windows-1251 holds: the module gets the
// text through that code page, anything else would arrive as '?'.
QString windows1251Characters() {
    QString pattern = QStringLiteral("[");
    for (int byte = 0x20; byte <= 0xFF; ++byte) {
        if (byte == 0x7F) continue;
        const char32_t c = image::windows1251ToUnicode(static_cast<std::uint8_t>(byte));
        if (c == 0xFFFD) continue;
        pattern += QStringLiteral("\\x{%1}").arg(static_cast<unsigned>(c), 4, 16, QLatin1Char('0'));
    }
    return pattern + QStringLiteral("]*");
}

}  // namespace

SmsPage::SmsPage(SmsModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link, QWidget* parent)
    : PageWidget(model, workspace, prompts, link, parent),
      m_model(model),
      m_targets{&ComboBox10, &ComboBox11, &ComboBox12, &ComboBox13, &ComboBox14, &ComboBox15, &ComboBox16, &ComboBox17},
      m_reserves{&CheckBox6, &CheckBox7, &CheckBox8, &CheckBox9, &CheckBox10, &CheckBox11, &CheckBox12, &CheckBox13} {
    setObjectName(QStringLiteral("SmsPage"));
    SpeedButton11 = createWriteButton(QStringLiteral("SpeedButton11"));
    auto* right = new QVBoxLayout;
    right->addWidget(buildSystemEvents());
    right->addStretch(1);
    right->addWidget(SpeedButton11, 0, Qt::AlignRight);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(buildMessages(), 1);
    layout->addLayout(right, 1);
    for (int n = 1; n <= SmsModel::kMessageCount; ++n)
        marks().addCell(ValueListEditor5, n - 1, 1, {"message" + std::to_string(n)});
    const char* const events[SmsModel::kEventCount] = {"disarm",          "arm",        "mainsOff",  "mainsOn",
                                                       "batteryFault",    "batteryRestored", "caseOpened", "caseClosed"};
    for (int e = 0; e < SmsModel::kEventCount; ++e) {
        marks().addEditor(*m_targets[e], events[e]);
        marks().addEditor(*m_reserves[e], std::string(events[e]) + "Reserve");
    }
    marks().addEditor(ComboBox19, "backupTarget");
    refreshFromModel();
}

QWidget* SmsPage::buildMessages() {
    auto* group = new QGroupBox(tr("Сообщения"), this);
    ValueListEditor5 = new ValueListEditor(group);
    ValueListEditor5->setObjectName(QStringLiteral("ValueListEditor5"));
    ValueListEditor5->setTitles(tr("№"), tr("Текст"));
    const QString characters = windows1251Characters();
    for (int n = 1; n <= SmsModel::kMessageCount; ++n) {
        // Ten optional characters of any kind, blanks included.
        ValueListEditor::RowSpec spec;
        spec.key = QString::number(n);
        spec.maxLength = SmsModel::kMessageLength;
        spec.allowedPattern = characters;
        ValueListEditor5->addRow(spec);
    }
    connect(ValueListEditor5, &ValueListEditor::valuesChanged, this, &SmsPage::ValueListEditor5StringsChange);
    ValueListEditor5->setMinimumHeight(kGridMinimumHeight);  // the twenty rows scroll
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(ValueListEditor5);
    return group;
}

QWidget* SmsPage::buildSystemEvents() {
    auto* group = new QGroupBox(tr("Передача системных событий через SMS"), this);
    auto* grid = new QGridLayout(group);
    const char* const labels[SmsModel::kEventCount] = {
        QT_TR_NOOP("Снятие"),      QT_TR_NOOP("Взятие"),     QT_TR_NOOP("Откл. 220В"),   QT_TR_NOOP("Вкл. 220В"),
        QT_TR_NOOP("Неиспр. АКБ"), QT_TR_NOOP("Восст. АКБ"), QT_TR_NOOP("Прибор Откр."), QT_TR_NOOP("Прибор Закр.")};
    QStringList targets{tr("Нет")};
    for (int n = 1; n <= SmsModel::kMaxTarget; ++n) targets << tr("GSM Номер ") + QString::number(n);
    for (int e = 0; e < SmsModel::kEventCount; ++e) {
        QComboBox*& list = *m_targets[e];
        list = new QComboBox(group);
        list->setObjectName(QStringLiteral("ComboBox%1").arg(10 + e));
        list->addItems(targets);
        QCheckBox*& reserve = *m_reserves[e];
        reserve = new QCheckBox(tr("Резерв"), group);
        reserve->setObjectName(QStringLiteral("CheckBox%1").arg(6 + e));
        grid->addWidget(new QLabel(tr(labels[e]), group), e, 0);
        grid->addWidget(list, e, 1);
        grid->addWidget(reserve, e, 2);
        // ComboBox10Change ... ComboBox17Change; the check boxes raise nothing.
        connect(list, &QComboBox::currentIndexChanged, this, [this, e](int index) {
            if (refreshing()) return;
            m_model.values().targets[e] = index;
            raiseEntry(SmsModel::kEntryTargets);
        });
        connect(reserve, &QCheckBox::toggled, this, [this, e](bool on) { m_model.values().reserves[e] = on; });
    }
    ComboBox19 = new QComboBox(group);
    ComboBox19->setObjectName(QStringLiteral("ComboBox19"));
    ComboBox19->addItem(tr("Выкл."));
    for (int n = 1; n <= SmsModel::kMaxTarget; ++n) ComboBox19->addItem(tr("GSM номер ") + QString::number(n));
    grid->addWidget(new QLabel(tr("SMS резервирование  "), group), SmsModel::kEventCount, 0);
    grid->addWidget(ComboBox19, SmsModel::kEventCount, 1);
    connect(ComboBox19, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!refreshing()) m_model.values().backupTarget = index;
    });
    return group;
}

void SmsPage::ValueListEditor5StringsChange(int row) {
    if (row < 0 || row >= SmsModel::kMessageCount) return;
    m_model.values().messages[row] = ValueListEditor5->value(row).toStdString();
    // Only messages 1..10 have entries; nothing reads them, every encoder
    // writes all twenty.
    if (row < 10) raiseEntry(SmsModel::kEntryFirstMessage + row);
}

void SmsPage::refreshFromModel() {
    const RefreshScope scope(*this);
    const SmsModel::Values v = m_model.values();
    for (int n = 0; n < SmsModel::kMessageCount; ++n) ValueListEditor5->setValue(n, QString::fromStdString(v.messages[n]));
    for (int e = 0; e < SmsModel::kEventCount; ++e) {
        (*m_targets[e])->setCurrentIndex(v.targets[e]);
        (*m_reserves[e])->setChecked(v.reserves[e]);
    }
    ComboBox19->setCurrentIndex(v.backupTarget);
    m_model.values() = v;
}

}  // namespace kv6::pages
