#pragma once

#include <QDialog>

#include "pages/gsm/gsm_model.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kv6::widgets {
class SpinEdit;
}

namespace kv6::pages {

// TForm2, the GSM number dialog: the number, its function and, for
// "Постановка/Снятие", the user code; one instance, reused for every row.
class TForm2 final : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);

    // Resets the dialog for number 1..10 and shows `state` in it.
    void load(int number, const GsmModel::NumberDialog& state);
    // What the controls hold now.
    [[nodiscard]] GsmModel::NumberDialog result() const;

    QLineEdit* Edit1;              // the number, at most 10 printable ASCII characters
    QComboBox* ComboBox1;          // function: "Нет", "Контроль", "Перепостановка", ...
    QLabel* Label3;                // "Разделы" (hidden)
    widgets::SpinEdit* UpDown1;    // partition 1..8, hidden (its read-only edit is Edit2)
    QLabel* Label4;                // "Код:    99", shown for re-arming
    widgets::SpinEdit* UpDown2;    // user code 1..24 over the digits of Label4 (edit Edit3)
    QPushButton* BitBtn1;          // OK
    QPushButton* BitBtn2;          // "Отменить"

private:
    // The code controls follow the function: all three for arming/disarming,
    // the fixed "Код:    99" alone for re-arming.
    void ComboBox1Change();
};

}  // namespace kv6::pages
