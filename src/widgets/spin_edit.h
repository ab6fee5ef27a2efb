#pragma once

#include <QSpinBox>

class QLineEdit;

namespace kv6::widgets {

// An edit with its up/down spinner (a Delphi TEdit + TUpDown pair): the spin
// box carries the spinner's name, its line edit the edit's name, and typing
// can be limited to fewer characters than the spinner may show.
class SpinEdit : public QSpinBox {
    Q_OBJECT

public:
    SpinEdit(const QString& spinnerName, const QString& editName, QWidget* parent = nullptr);

    [[nodiscard]] QLineEdit* edit() const { return lineEdit(); }

    // Typing may not make the text longer than this (0 = no limit); values
    // set by the spinner or by code may be longer.
    void setMaxTypedLength(int length) { m_maxTypedLength = length; }
    [[nodiscard]] int maxTypedLength() const { return m_maxTypedLength; }

protected:
    QValidator::State validate(QString& input, int& pos) const override;

private:
    int m_maxTypedLength = 0;
    int m_shownLength = 0;
};

}  // namespace kv6::widgets
