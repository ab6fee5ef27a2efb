#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "pages/codes/codes_model.h"
#include "pages/common/page_widget.h"

class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QToolButton;

namespace kv6::widgets {
class ValueListEditor;
}  // namespace kv6::widgets

namespace kv6::pages {

class PartitionListWidget;
class TForm3;
class TForm7;

// The "Коды и Разделы" page: user codes with their partitions and bypass
// (through TForm7), the object number of each partition, the code length,
// the hidden older code table (through TForm3) and the write button SpeedButton14.
class CodesPage : public PageWidget {
    Q_OBJECT

public:
    // Runs a modal dialog and returns its result; tests answer in place of a person.
    using DialogRunner = std::function<int(QDialog&)>;

    CodesPage(CodesModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
              QWidget* parent = nullptr);
    ~CodesPage() override;

    void refreshFromModel() override;
    // Places the "Объект" page's hidden code digit count (Edit3/UpDown3, byte
    // 760) beside the code length list, where the form keeps it.
    void hostCodeDigits(QWidget* upDown3);
    void setDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }

    [[nodiscard]] TForm7& form7() { return *m_form7; }
    [[nodiscard]] TForm3& form3() { return *m_form3; }

    widgets::ValueListEditor* ValueListEditor9;  // "Код 1" .. "Код 24", "Код 99"
    widgets::ValueListEditor* ValueListEditor6;  // object number of "Раздел 1" .. "Раздел 16"
    QComboBox* ComboBox9;                        // code length "4" / "6"
    QGroupBox* GroupBox4;                        // hidden: older code table and re-arm partitions
    widgets::ValueListEditor* ValueListEditor4;  // hidden: codes 1..8 of the older table
    PartitionListWidget* CheckListBox1;          // hidden: re-arm partitions (byte 243)
    QToolButton* SpeedButton14;                  // write the page

private:
    QWidget* buildCodes();
    QWidget* buildObjects();
    QWidget* buildCodeLength();
    QWidget* buildLegacyTable();

    void ValueListEditor9EditButtonClick(int row);
    void ValueListEditor4EditButtonClick(int row);
    void ValueListEditor6StringsChange(int row);
    void ComboBox9Change(int index);
    void CheckListBox1ClickCheck();
    void applyCodeLength();
    void showCodes();
    void showLegacyKeys();

    CodesModel& m_model;
    std::unique_ptr<TForm7> m_form7;  // one instance each, reused
    std::unique_ptr<TForm3> m_form3;
    DialogRunner m_runDialog;
    QHBoxLayout* m_codeLengthRow = nullptr;
};

}  // namespace kv6::pages
