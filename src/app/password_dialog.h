#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kv6::app {

// TPasswordDlg: the read password, and for a password change the new one.
// One instance serves the whole run; its fields keep their text between uses.
class TPasswordDlg final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 5;

    explicit TPasswordDlg(QWidget* parent = nullptr);

    // Shows or hides the new-password row (Label2, Edit1).
    void setNewPasswordVisible(bool visible);

    [[nodiscard]] QString currentText() const;
    [[nodiscard]] QString newText() const;

    QLabel* Label1;       // "Пароль на чтение"
    QLineEdit* Password;  // the current read password
    QLabel* Label2;       // "Новый пароль (0...65535)"
    QLineEdit* Edit1;     // the new read password
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};

}  // namespace kv6::app
