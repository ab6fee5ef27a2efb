#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kv6::pages {

// TForm3: a code of the older hidden table and whether it is the re-arming
// code. Only digits are taken; OK waits for six of them (or none, or the
// code as loaded).
class TForm3 final : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);

    // Fills the dialog for row `row` (1..8) of the hidden table.
    void load(int row, const QString& code, bool rearm);

    [[nodiscard]] QString code() const;
    [[nodiscard]] bool rearm() const;

    QLineEdit* Edit1;      // the code, up to six digits
    QCheckBox* CheckBox1;  // "Перепостановка"
    QLabel* Label1;        // why OK is disabled
    QPushButton* OKBtn;
    QPushButton* CancelBtn;  // "Отмена"

private:
    void updateOk();

    QString m_loadedCode;  // the row's value when the dialog opened
};

}  // namespace kv6::pages
