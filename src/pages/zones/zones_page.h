#pragma once

#include "pages/common/page_widget.h"
#include "pages/zones/zones_model.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QListWidget;
class QPlainTextEdit;
class QToolButton;

namespace kv6::widgets {
class SpinEdit;
class ValueListEditor;
}  // namespace kv6::widgets

namespace kv6::pages {

class TForm5;

// The "Характеристики" page (TabSheet11): zone grid with the zone dialog,
// the two outputs, the timers, the buzzer, the anti-bounce count, the hidden
// tamper / start zone / expander-fault settings and the write button.
class ZonesPage : public PageWidget {
    Q_OBJECT

public:
    ZonesPage(ZonesModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link, TForm5& dialog,
              QWidget* parent = nullptr);

    void refreshFromModel() override;
    // The ellipsis of a grid row: the routing dialog in zone mode.
    void ValueListEditor8EditButtonClick(int row);
    // A tick of the hidden repeated write test; `status` is status panel 1.
    void Timer3Timer(const QString& status);

    QGroupBox* GroupBox16;                        // "Характеристики зон ", enabled while tamper is "Да"
    widgets::ValueListEditor* ValueListEditor8;   // zone types, one row per zone
    QComboBox* ComboBox6;                         // output 1 mode
    QListWidget* CheckListBox5;                   // output 1 partitions
    QComboBox* ComboBox8;                         // output 2 mode
    QListWidget* CheckListBox4;                   // output 2 partitions
    widgets::SpinEdit* UpDown5;                   // entry time (Edit6)
    widgets::SpinEdit* UpDown6;                   // exit time (Edit7)
    widgets::SpinEdit* UpDown11;                  // siren time (Edit13)
    QCheckBox* CheckBox5;                         // "Отключить зуммер"
    widgets::SpinEdit* UpDown12;                  // anti-bounce count (Edit14)
    QToolButton* SpeedButton13;                   // write the page
    QGroupBox* RadioGroup1;                       // hidden: tamper monitoring
    QButtonGroup* RadioGroup1Items;
    QComboBox* ComboBox5;                         // hidden: start zone number
    QListWidget* CheckListBox3;                   // hidden: ignore faults of expander zones
    QPlainTextEdit* Memo5;                        // hidden: lines of the repeated write test

private:
    QWidget* buildZones();
    QWidget* buildOutputs();
    QWidget* buildTimers();
    QWidget* buildHidden();
    void outputModeChanged(int output);
    void showOutputList(QListWidget* list, int mode, std::uint8_t mask);
    void applyTamper(int tamper);
    void ValueListEditor8StringsChange();

    ZonesModel& m_model;
    TForm5& m_dialog;
    int m_shownTamper = 0;  // the zone group follows changes of the choice only
};

}  // namespace kv6::pages
