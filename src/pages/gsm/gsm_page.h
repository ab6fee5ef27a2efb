#pragma once

#include <functional>
#include <memory>

#include "pages/gsm/gsm_model.h"
#include "pages/common/page_widget.h"

class QComboBox;
class QGroupBox;
class QToolButton;

namespace kv6::widgets {
class SpinEdit;
class ValueListEditor;
}  // namespace kv6::widgets

namespace kv6::pages {

class TForm2;

// The "GSM номера" page: the ten numbers (edited in TForm2), the country
// digit, the hidden alarm groups of the two inputs, and its write button
// SpeedButton12.
class GsmPage : public PageWidget {
    Q_OBJECT

public:
    GsmPage(GsmModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
            QWidget* parent = nullptr);
    ~GsmPage() override;

    void refreshFromModel() override;

    // Shows the number dialog modally; true for OK. Tests replace it to
    // answer the dialog without a person.
    using DialogRunner = std::function<bool(TForm2&)>;
    void setDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }
    // The one number dialog, created on first use.
    TForm2& numberDialog();

    // The ellipsis of row 0..9: edits number row + 1 in the dialog.
    void ValueListEditor3EditButtonClick(int row);

    widgets::ValueListEditor* ValueListEditor3;  // numbers 1..10 and "Код Страны"
    QGroupBox* Input1Group;                      // "Вход 1, параметры тревоги" (hidden)
    QComboBox* ComboBox1;                        // input 1: alarm GSM number
    widgets::SpinEdit* UpDown1;                  // input 1: alarm key 1..2 (its edit is Edit1)
    QGroupBox* Input2Group;                      // "Вход 2, параметры тревоги" (hidden)
    QComboBox* ComboBox2;                        // input 2: alarm GSM number
    widgets::SpinEdit* UpDown2;                  // input 2: alarm key 1..2 (Edit2)
    QToolButton* SpeedButton12;                  // write the page

private:
    QGroupBox* buildInput(const QString& title, int index, QComboBox*& list, widgets::SpinEdit*& key);
    void ValueListEditor3StringsChange(int row);
    // Key column: "GSM номер N" with the function's label, in its colour.
    void ValueListEditor3DrawKeys();

    GsmModel& m_model;
    std::unique_ptr<TForm2> m_dialog;  // no parent: its control names repeat the page's
    DialogRunner m_runDialog;
};

}  // namespace kv6::pages
