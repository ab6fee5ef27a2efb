#pragma once

#include "pages/object/object_model.h"
#include "pages/common/page_widget.h"

class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QToolButton;

namespace kv6::widgets {
class SpinEdit;
class ValueListEditor;
}  // namespace kv6::widgets

namespace kv6::pages {

// The "Объект" page: object identity, IP connection, second-IP mode, SIM
// PIN, poll and retry timing, and its write button SpeedButton9.
class ObjectPage : public PageWidget {
    Q_OBJECT

public:
    ObjectPage(ObjectModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
               QWidget* parent = nullptr);

    void refreshFromModel() override;
    // The "Дополнительно" switch: shows or hides the advanced fields only.
    void setAdvancedVisible(bool visible);

    widgets::ValueListEditor* ValueListEditor1;  // object, receiver and line numbers
    widgets::ValueListEditor* ValueListEditor2;  // IP connection
    QGroupBox* RadioGroup2;                      // transmission to the second IP address
    QButtonGroup* RadioGroup2Items;
    QCheckBox* CheckBox1;                        // PIN enabled
    QLineEdit* Edit5;                            // PIN
    QFrame* Shape1;                              // red frame: PIN enabled but incomplete
    widgets::SpinEdit* UpDown4;                  // poll time, minutes (its edit is Edit4)
    widgets::SpinEdit* UpDown8;                  // attempts on IP1 (Edit9)
    widgets::SpinEdit* UpDown9;                  // attempts on IP2 (Edit10)
    widgets::SpinEdit* UpDown7;                  // attempt time, seconds (Edit8)
    QCheckBox* CheckBox2;                        // GPRS channel off
    QCheckBox* CheckBox4;                        // message on remote programming
    QToolButton* SpeedButton9;                   // write the page
    // Code digit count (760): hidden, hosted later by the codes page (its edit is Edit3).
    widgets::SpinEdit* UpDown3;

private:
    void markFields();
    QWidget* buildIdentity();
    QWidget* buildConnection();
    QWidget* buildSecondIp();
    QWidget* buildPin();
    QWidget* buildTiming();

    void ValueListEditor1StringsChange();
    void ValueListEditor2StringsChange();
    void Edit5Change();
    void updatePinFrame();

    ObjectModel& m_model;
    QWidget* m_advanced = nullptr;
};

}  // namespace kv6::pages
