#pragma once

#include <QStringList>

#include "common/status_sink.h"
#include "pages/common/page_widget.h"
#include "pages/settings/settings_model.h"

class QCheckBox;
class QDateTime;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLineEdit;
class QMenu;
class QAction;
class QTimeEdit;
class QToolButton;
class QTreeWidget;

namespace kv6::widgets {
class SpinEdit;
}

namespace kv6::pages {

// The "Настройки " page: the external device list with its write button
// SpeedButton16, and the module clock, NTP and programming server with
// their write button SpeedButton17.
class SettingsPage : public PageWidget {
    Q_OBJECT

public:
    SettingsPage(SettingsModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
                 StatusSink& status, QWidget* parent = nullptr);

    void refreshFromModel() override;
    // The device type list from paramd: one item per line, "name . Адрес address".
    void setDeviceTypes(const QStringList& lines);

    void SpeedButton15Click();  // add a device of the chosen type
    void SpeedButton16Click();  // write the device list
    void SpeedButton17Click();  // write the clock and the servers
    // False, after a message naming the field, while a server address typed
    // since the last decode is incomplete or out of range: it cannot be sent.
    [[nodiscard]] bool serversCanBeSent();
    void N9Click();             // "Удалить": the selected device row
    // "Время компьютера": both pickers to now, as the chosen time zone counts it.
    void setComputerTime(const QDateTime& nowUtc);

    QGroupBox* GroupBox20;           // "Адреса внешних устройств"
    QTreeWidget* ListView2;          // devices: "№", "Адрес", "Устройство", "На шине"
    QMenu* PopupMenu1;               // context menu of ListView2
    QAction* N9;                     // "Удалить"
    QComboBox* ComboBox7;            // device type from paramd
    QToolButton* SpeedButton15;      // "Добавить "
    QToolButton* SpeedButton16;      // write the device list
    QGroupBox* GroupBox21;           // " Дата / Время     "
    QDateEdit* DateTimePicker1;      // module clock: date
    QTimeEdit* DateTimePicker2;      // module clock: time
    QComboBox* ComboBox18;           // time zone "GMT+01:00" .. "GMT+13:00"
    QCheckBox* CheckBox3;            // "Использовать NTP"
    QLineEdit* MaskEdit1;            // NTP server
    widgets::SpinEdit* UpDown10;     // NTP interval, hours (its edit is Edit12)
    QLineEdit* MaskEdit2;            // programming server
    QToolButton* SpeedButton17;      // write the clock and the servers
    QToolButton* ComputerTimeButton;  // "Время компьютера"

private:
    QWidget* buildDevices();
    QWidget* buildDateTime();
    void showDevices();
    void CheckBox3Click();
    void clockChanged();

    SettingsModel& m_model;
    Prompts& m_prompts;
    WriteLink& m_link;
    StatusSink& m_status;
    QStringList m_deviceTypes;
    bool m_ntpServerTyped = false;
    bool m_programmingServerTyped = false;
};

}  // namespace kv6::pages
