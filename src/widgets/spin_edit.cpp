#include "widgets/spin_edit.h"

#include <QLineEdit>

namespace kv6::widgets {

SpinEdit::SpinEdit(const QString& spinnerName, const QString& editName, QWidget* parent) : QSpinBox(parent) {
    setObjectName(spinnerName);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(editName);
    setLineEdit(edit);
    // The spin box updates its edit with signals blocked, so follow the value too.
    connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { m_shownLength = int(text.size()); });
    connect(this, &QSpinBox::valueChanged, this, [this] { m_shownLength = int(lineEdit()->text().size()); });
    m_shownLength = int(edit->text().size());
}

// Refuses only keystrokes that lengthen a text already at the limit, so a
// longer value shown by the spinner can still be shortened.
QValidator::State SpinEdit::validate(QString& input, int& pos) const {
    if (m_maxTypedLength > 0 && input.size() > m_maxTypedLength && input.size() > m_shownLength)
        return QValidator::Invalid;
    return QSpinBox::validate(input, pos);
}

}  // namespace kv6::widgets
