#pragma once

#include <QStyledItemDelegate>

namespace kv6::widgets {

class ValueListEditor;

// The value column's cell editors: a line edit carrying the row's mask,
// length and pattern, or a list for rows with a pick list; draws and handles
// the ellipsis button of rows that have one.
class ValueListDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit ValueListDelegate(ValueListEditor* editor);

    [[nodiscard]] static QRect buttonRect(const QRect& cell);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    ValueListEditor* m_grid;
};

}  // namespace kv6::widgets
