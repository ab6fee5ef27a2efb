#include "pages/settings/settings_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "image/module_time.h"
#include "image/time_zone.h"
#include "widgets/edit_mask.h"
#include "widgets/spin_edit.h"

namespace kv6::pages {

namespace {

const widgets::EditMask kServerMask(QStringLiteral("000.000.000.000;1;_"));
// The module clock runs from 1900 until early in 2036.
const QDate kFirstDate(1900, 1, 1);
const QDate kLastDate(2036, 2, 7);

std::int64_t localSecondsOf(const QDate& date, const QTime& time) {
    return image::localSecondsOf(
        {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()});
}

QLineEdit* serverEdit(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setInputMask(kServerMask.editorInputMask());
    return edit;
}

// What an edited server field holds: the padded address, or the text as it
// stands while it is incomplete.
std::string serverText(const QLineEdit* edit) {
    const QString text = edit->text();
    return kServerMask.normalise(text).value_or(text).toStdString();
}

}  // namespace

SettingsPage::SettingsPage(SettingsModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
                           StatusSink& status, QWidget* parent)
    : PageWidget(model, workspace, prompts, link, parent), m_model(model), m_prompts(prompts), m_link(link),
      m_status(status) {
    setObjectName(QStringLiteral("SettingsPage"));
    // The pickers start at the computer's date and time.
    const QDateTime now = QDateTime::currentDateTime();
    m_model.values().clock = localSecondsOf(now.date(), now.time());
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(buildDevices(), 1);
    layout->addWidget(buildDateTime(), 1);
    marks().addEditor(DateTimePicker1, "clock");
    marks().addEditor(DateTimePicker2, "clock");
    marks().addEditor(ComboBox18, "timeZone");
    marks().addEditor(CheckBox3, "ntp");
    marks().addEditor(MaskEdit1, "ntpServer");
    marks().addEditor(UpDown10, "ntpInterval");
    marks().addEditor(MaskEdit2, "programmingServer");
    refreshFromModel();
}

QWidget* SettingsPage::buildDevices() {
    GroupBox20 = new QGroupBox(tr("Адреса внешних устройств"), this);
    GroupBox20->setObjectName(QStringLiteral("GroupBox20"));
    ListView2 = new QTreeWidget(GroupBox20);
    ListView2->setObjectName(QStringLiteral("ListView2"));
    ListView2->setRootIsDecorated(false);
    ListView2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView2->setHeaderLabels({tr("№"), tr("Адрес"), tr("Устройство"), tr("На шине")});
    ListView2->setColumnWidth(0, 60);
    ListView2->setColumnWidth(2, 120);
    ListView2->setColumnWidth(3, 60);
    PopupMenu1 = new QMenu(ListView2);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N9 = PopupMenu1->addAction(tr("Удалить"));
    N9->setObjectName(QStringLiteral("N9"));
    connect(N9, &QAction::triggered, this, &SettingsPage::N9Click);
    ListView2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(ListView2->viewport()->mapToGlobal(pos)); });

    ComboBox7 = new QComboBox(GroupBox20);
    ComboBox7->setObjectName(QStringLiteral("ComboBox7"));
    ComboBox7->setPlaceholderText(QStringLiteral("ComboBox7"));  // what it shows without paramd
    SpeedButton15 = new QToolButton(GroupBox20);
    SpeedButton15->setObjectName(QStringLiteral("SpeedButton15"));
    SpeedButton15->setText(QStringLiteral("+"));
    SpeedButton15->setToolTip(tr("Добавить "));
    connect(SpeedButton15, &QToolButton::clicked, this, &SettingsPage::SpeedButton15Click);
    SpeedButton16 = createWriteButton(QStringLiteral("SpeedButton16"));
    // The button reports a device table it cannot write.
    disconnect(SpeedButton16, &QToolButton::clicked, this, nullptr);
    connect(SpeedButton16, &QToolButton::clicked, this, &SettingsPage::SpeedButton16Click);

    auto* row = new QHBoxLayout;
    row->addWidget(ComboBox7, 1);
    row->addWidget(SpeedButton15);
    row->addWidget(SpeedButton16);
    auto* layout = new QVBoxLayout(GroupBox20);
    layout->addWidget(ListView2, 1);
    layout->addLayout(row);
    return GroupBox20;
}

QWidget* SettingsPage::buildDateTime() {
    GroupBox21 = new QGroupBox(tr(" Дата / Время     "), this);
    GroupBox21->setObjectName(QStringLiteral("GroupBox21"));
    DateTimePicker1 = new QDateEdit(GroupBox21);
    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    DateTimePicker1->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    DateTimePicker1->setDateRange(kFirstDate, kLastDate);
    DateTimePicker1->setCalendarPopup(true);
    DateTimePicker2 = new QTimeEdit(GroupBox21);
    DateTimePicker2->setObjectName(QStringLiteral("DateTimePicker2"));
    DateTimePicker2->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    connect(DateTimePicker1, &QDateEdit::dateChanged, this, &SettingsPage::clockChanged);
    connect(DateTimePicker2, &QTimeEdit::timeChanged, this, &SettingsPage::clockChanged);

    ComboBox18 = new QComboBox(GroupBox21);
    ComboBox18->setObjectName(QStringLiteral("ComboBox18"));
    for (int item = 0; item < image::kTimeZoneItems; ++item)
        ComboBox18->addItem(QString::fromStdString(SettingsModel::timeZoneText(item)));
    connect(ComboBox18, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_model.values().timeZoneItem = index; });

    CheckBox3 = new QCheckBox(tr("Использовать NTP"), GroupBox21);
    CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
    connect(CheckBox3, &QCheckBox::toggled, this, [this](bool on) {
        m_model.values().ntp = on;
        CheckBox3Click();
    });
    MaskEdit1 = serverEdit(QStringLiteral("MaskEdit1"), GroupBox21);
    connect(MaskEdit1, &QLineEdit::textEdited, this, [this] {
        m_model.values().ntpServer = serverText(MaskEdit1);
        m_ntpServerTyped = true;
    });
    UpDown10 = new widgets::SpinEdit(QStringLiteral("UpDown10"), QStringLiteral("Edit12"), GroupBox21);
    UpDown10->setRange(SettingsModel::kMinNtpInterval, SettingsModel::kMaxNtpInterval);
    connect(UpDown10, &QSpinBox::valueChanged, this, [this](int hours) { m_model.values().ntpInterval = hours; });
    MaskEdit2 = serverEdit(QStringLiteral("MaskEdit2"), GroupBox21);
    connect(MaskEdit2, &QLineEdit::textEdited, this,
            [this] {
                m_model.values().programmingServer = serverText(MaskEdit2);
                m_programmingServerTyped = true;
            });
    SpeedButton17 = new QToolButton(GroupBox21);
    SpeedButton17->setObjectName(QStringLiteral("SpeedButton17"));
    SpeedButton17->setText(tr("Записать"));
    SpeedButton17->setToolTip(tr("Записать"));
    SpeedButton17->setEnabled(false);
    connect(SpeedButton17, &QToolButton::clicked, this, &SettingsPage::SpeedButton17Click);

    ComputerTimeButton = new QToolButton(GroupBox21);
    ComputerTimeButton->setObjectName(QStringLiteral("ComputerTimeButton"));
    ComputerTimeButton->setText(tr("Время компьютера"));
    ComputerTimeButton->setToolTip(tr("Установить текущие дату и время компьютера"));
    connect(ComputerTimeButton, &QToolButton::clicked, this,
            [this] { setComputerTime(QDateTime::currentDateTimeUtc()); });

    auto* clock = new QHBoxLayout;
    clock->addWidget(DateTimePicker1);
    clock->addWidget(DateTimePicker2);
    clock->addWidget(ComputerTimeButton);
    auto* form = new QFormLayout(GroupBox21);
    form->addRow(clock);
    form->addRow(tr("Часовой пояс (для журнала):"), ComboBox18);
    form->addRow(CheckBox3);
    form->addRow(tr("NTP сервер"), MaskEdit1);
    form->addRow(tr("Интервал синхронизации, часы"), UpDown10);
    form->addRow(tr("Сервер программирования"), MaskEdit2);
    form->addRow(SpeedButton17);
    form->setAlignment(SpeedButton17, Qt::AlignRight);
    return GroupBox21;
}

void SettingsPage::setDeviceTypes(const QStringList& lines) {
    m_deviceTypes = lines;
    ComboBox7->clear();
    for (const QString& line : lines) {
        const QStringList parts = line.split(QLatin1Char('\t'));
        ComboBox7->addItem(parts.value(0) + QStringLiteral(" . Адрес ") + parts.value(1));
    }
    ComboBox7->setCurrentIndex(lines.isEmpty() ? -1 : 0);
}

void SettingsPage::SpeedButton15Click() {
    if (m_model.values().devices.size() >= SettingsModel::kMaxDevices) return;
    const int index = ComboBox7->currentIndex();
    if (index < 0 || index >= m_deviceTypes.size()) {
        m_status.setStatus(StatusPanel::Operation, tr(" Не выбран тип устройства").toStdString());
        return;
    }
    m_model.addDevice(m_deviceTypes.at(index).toStdString());
    showDevices();
    marks().update();
}

void SettingsPage::SpeedButton16Click() {
    if (runWriteButton() == PageWriteButton::Outcome::Queued &&
        m_workspace.flags.isSet(SettingsModel::kEntryDevices))
        m_status.setStatus(StatusPanel::Operation,
                           tr(" Адрес устройства должен быть числом от 0 до 254").toStdString());
}

bool SettingsPage::serversCanBeSent() {
    const std::pair<bool, QString> servers[] = {
        {m_ntpServerTyped && !SettingsModel::isServerAddress(m_model.values().ntpServer), tr("NTP сервер")},
        {m_programmingServerTyped && !SettingsModel::isServerAddress(m_model.values().programmingServer),
         tr("Сервер программирования")}};
    for (const auto& [refused, field] : servers) {
        if (!refused) continue;
        m_prompts.message(tr("%1: адрес введён не полностью или неверно. Введите четыре числа от 0 до 255 "
                             "или оставьте поле пустым.")
                              .arg(field)
                              .toStdString(),
                          " Запись", MessageIcon::Exclamation, MessageButtons::Ok);
        return false;
    }
    return true;
}

void SettingsPage::SpeedButton17Click() {
    if (!serversCanBeSent()) return;
    if (!m_link.ensureLink()) return;
    m_model.queueClockJobs(m_workspace);
    m_model.rememberWhenWritten();
    marks().update();
    m_link.startWrite();
}

void SettingsPage::N9Click() {
    const QModelIndex current = ListView2->currentIndex();
    if (!current.isValid() || !ListView2->currentItem()->isSelected()) return;
    if (!m_model.removeDevice(static_cast<std::size_t>(current.row()))) return;
    showDevices();
    marks().update();
}

// The pickers show the module's local time in the chosen zone; without a
// zone they show the computer's own.
void SettingsPage::setComputerTime(const QDateTime& nowUtc) {
    const int hours = m_model.zoneHours();
    const QDateTime shown = hours != 0 ? nowUtc.toUTC().addSecs(hours * 3600LL) : nowUtc.toLocalTime();
    DateTimePicker1->setDate(shown.date());
    DateTimePicker2->setTime(QTime(shown.time().hour(), shown.time().minute(), shown.time().second()));
}

void SettingsPage::CheckBox3Click() {
    const bool on = CheckBox3->isChecked();
    MaskEdit1->setEnabled(on);
    UpDown10->setEnabled(on);
}

void SettingsPage::clockChanged() {
    if (refreshing()) return;
    m_model.values().clock = localSecondsOf(DateTimePicker1->date(), DateTimePicker2->time());
}

void SettingsPage::showDevices() {
    ListView2->clear();
    const auto& devices = m_model.values().devices;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        auto* item = new QTreeWidgetItem(ListView2);
        item->setText(0, QString::number(i + 1));
        item->setText(1, QString::fromStdString(devices[i].address));
        item->setText(2, QString::fromStdString(devices[i].name));
        switch (devices[i].onBus) {
            case SettingsModel::OnBus::Yes:
                item->setText(3, tr("Да"));
                item->setIcon(3, style()->standardIcon(QStyle::SP_DialogApplyButton));
                break;
            case SettingsModel::OnBus::No:
                item->setText(3, tr("Нет"));
                break;
            case SettingsModel::OnBus::Unknown:
                break;
        }
    }
}

void SettingsPage::refreshFromModel() {
    const RefreshScope scope(*this);
    m_ntpServerTyped = m_programmingServerTyped = false;
    const SettingsModel::Values v = m_model.values();  // the editors' signals write back into the model
    showDevices();
    const image::CivilDateTime c = image::civilOf(v.clock);
    DateTimePicker1->setDate(QDate(c.year, c.month, c.day));
    DateTimePicker2->setTime(QTime(c.hour, c.minute, c.second));
    ComboBox18->setCurrentIndex(v.timeZoneItem);
    CheckBox3->setChecked(v.ntp);
    UpDown10->setValue(v.ntpInterval);
    MaskEdit1->setText(QString::fromStdString(v.ntpServer));
    MaskEdit2->setText(QString::fromStdString(v.programmingServer));
    m_model.values() = v;
    CheckBox3Click();
}

}  // namespace kv6::pages
