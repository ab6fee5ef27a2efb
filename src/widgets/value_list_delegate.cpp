#include "widgets/value_list_delegate.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpressionValidator>

#include "widgets/value_list_editor.h"

namespace kv6::widgets {

ValueListDelegate::ValueListDelegate(ValueListEditor* editor) : QStyledItemDelegate(editor), m_grid(editor) {}

QRect ValueListDelegate::buttonRect(const QRect& cell) {
    const int side = cell.height();
    return QRect(cell.right() - side + 1, cell.top(), side, side);
}

QWidget* ValueListDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                         const QModelIndex& index) const {
    const auto& spec = m_grid->rowSpec(index.row());
    if (!spec.pickList.isEmpty()) {
        auto* combo = new QComboBox(parent);
        combo->addItems(spec.pickList);
        return combo;
    }
    auto* edit = new QLineEdit(parent);
    const EditMask& mask = m_grid->editMask(index.row());
    if (!mask.isEmpty()) edit->setInputMask(mask.editorInputMask());
    // Typing stops at the field's length.
    if (spec.maxLength > 0) edit->setMaxLength(spec.maxLength);
    if (!spec.allowedPattern.isEmpty())
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(spec.allowedPattern), edit));
    return edit;
}

void ValueListDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    const QString text = index.data(Qt::EditRole).toString();
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        combo->setCurrentIndex(std::max(0, int(combo->findText(text))));
    } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        edit->setText(text);
    }
}

// An entry the row refuses is dropped: the cell keeps its previous value.
void ValueListDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const {
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        m_grid->commitUserValue(index.row(), combo->currentText());
    else if (auto* edit = qobject_cast<QLineEdit*>(editor))
        m_grid->commitUserValue(index.row(), edit->text());
}

void ValueListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    if (!m_grid->rowSpec(index.row()).ellipsis) return;
    QStyleOptionButton button;
    button.rect = buttonRect(option.rect);
    button.text = QStringLiteral("...");
    button.state = QStyle::State_Enabled | QStyle::State_Raised;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_PushButton, &button, painter, widget);
}

bool ValueListDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) {
    if (event->type() == QEvent::MouseButtonRelease && m_grid->rowSpec(index.row()).ellipsis) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && buttonRect(option.rect).contains(mouse->position().toPoint())) {
            emit m_grid->editButtonClicked(index.row());
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

}  // namespace kv6::widgets
