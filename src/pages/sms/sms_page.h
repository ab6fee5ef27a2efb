#pragma once

#include <array>

#include "pages/common/page_widget.h"
#include "pages/sms/sms_model.h"

class QCheckBox;
class QComboBox;
class QToolButton;

namespace kv6::widgets {
class ValueListEditor;
}

namespace kv6::pages {

// The "SMS сообщения" page: the twenty message texts, the SMS targets of
// the eight system events with their reserve flags, the SMS backup number
// and its write button SpeedButton11.
class SmsPage : public PageWidget {
    Q_OBJECT

public:
    SmsPage(SmsModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
            QWidget* parent = nullptr);

    void refreshFromModel() override;

    widgets::ValueListEditor* ValueListEditor5;  // messages 1..20
    QComboBox* ComboBox10;  // SMS target of "Снятие"
    QComboBox* ComboBox11;  // "Взятие"
    QComboBox* ComboBox12;  // "Откл. 220В"
    QComboBox* ComboBox13;  // "Вкл. 220В"
    QComboBox* ComboBox14;  // "Неиспр. АКБ"
    QComboBox* ComboBox15;  // "Восст. АКБ"
    QComboBox* ComboBox16;  // "Прибор Откр."
    QComboBox* ComboBox17;  // "Прибор Закр."
    QCheckBox* CheckBox6;   // reserve of "Снятие" ... CheckBox13 of "Прибор Закр."
    QCheckBox* CheckBox7;
    QCheckBox* CheckBox8;
    QCheckBox* CheckBox9;
    QCheckBox* CheckBox10;
    QCheckBox* CheckBox11;
    QCheckBox* CheckBox12;
    QCheckBox* CheckBox13;
    QComboBox* ComboBox19;     // SMS backup number
    QToolButton* SpeedButton11;  // write the page

private:
    QWidget* buildMessages();
    QWidget* buildSystemEvents();
    void ValueListEditor5StringsChange(int row);

    SmsModel& m_model;
    std::array<QComboBox**, SmsModel::kEventCount> m_targets;
    std::array<QCheckBox**, SmsModel::kEventCount> m_reserves;
};

}  // namespace kv6::pages
