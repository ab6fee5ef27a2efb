#pragma once

#include <QDialog>
#include <cstdint>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kv6::pages {

class PartitionListWidget;

// TForm7: one user code, its zone bypass and its partitions. For "Код 99"
// the code edit is empty and disabled, and ticking a partition unticks the
// others, so code 99 has at most one partition. Only digits are taken, and
// OK waits for a code of the full length (or none, or the code as loaded).
class TForm7 final : public QDialog {
    Q_OBJECT

public:
    explicit TForm7(QWidget* parent = nullptr);

    // Fills the dialog for one row of the code grid; `caption` is the row's key.
    void load(const QString& caption, const QString& code, bool bypass, std::uint8_t partitions);
    // Edit1's maximum length follows the code length (4 or 6).
    void setCodeLength(int length);

    [[nodiscard]] QString code() const;
    [[nodiscard]] bool bypass() const;
    [[nodiscard]] std::uint8_t partitions() const;

    QLineEdit* Edit1;             // the code
    QCheckBox* CheckBox1;         // "Обход зон"
    PartitionListWidget* CheckListBox1;  // "Раздел 1" .. "Раздел 8", two columns
    QLabel* Label1;               // why OK is disabled
    QPushButton* OKBtn;
    QPushButton* CancelBtn;       // "Отмена"

private:
    [[nodiscard]] bool isCode99() const;
    void CheckListBox1ClickCheck(int row);
    void updateOk();

    QString m_loadedCode;  // the row's value when the dialog opened
};

}  // namespace kv6::pages
