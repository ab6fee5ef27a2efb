#include "widgets/value_list_editor.h"

#include <QHeaderView>
#include <algorithm>
#include <QRegularExpression>

#include "widgets/value_list_delegate.h"

namespace kv6::widgets {

namespace {
constexpr int kKeyColumn = 0;
constexpr int kValueColumn = 1;
constexpr int kRowPadding = 6;
}  // namespace

ValueListEditor::ValueListEditor(QWidget* parent) : QTableWidget(0, 2, parent) {
    setItemDelegateForColumn(kValueColumn, new ValueListDelegate(this));
    verticalHeader()->hide();
    // Compact rows, as a name/value list: one line of text each.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + kRowPadding);
    horizontalHeader()->setStretchLastSection(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
}

void ValueListEditor::setTitles(const QString& keyTitle, const QString& valueTitle) {
    setHorizontalHeaderLabels({keyTitle, valueTitle});
    setColumnWidth(kKeyColumn, std::max(columnWidth(kKeyColumn),
                                        keyTitleWidth()));
}

int ValueListEditor::keyTitleWidth() const {
    const QTableWidgetItem* title = horizontalHeaderItem(kKeyColumn);
    return title ? horizontalHeader()->fontMetrics().horizontalAdvance(title->text()) + 4 * kRowPadding : 0;
}

// Tall enough for every row, so a short list never scrolls.
QSize ValueListEditor::minimumSizeHint() const {
    const int rowsHeight = verticalHeader()->defaultSectionSize() * rowCount();
    const int height = horizontalHeader()->sizeHint().height() + rowsHeight + 2 * frameWidth();
    return {QTableWidget::minimumSizeHint().width(), height};
}

QSize ValueListEditor::sizeHint() const {
    return {QTableWidget::sizeHint().width(), minimumSizeHint().height()};
}

int ValueListEditor::addRow(const RowSpec& spec) {
    const int row = rowCount();
    insertRow(row);
    m_rows.append(spec);
    m_masks.append(EditMask(spec.editMask));
    auto* keyItem = new QTableWidgetItem(spec.key);
    keyItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row, kKeyColumn, keyItem);
    auto* valueItem = new QTableWidgetItem();
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!spec.readOnly) flags |= Qt::ItemIsEditable;
    valueItem->setFlags(flags);
    setItem(row, kValueColumn, valueItem);
    // The key column is as wide as its longest key or title.
    const int keyWidth = std::max(fontMetrics().horizontalAdvance(spec.key),
                                  keyTitleWidth());
    setColumnWidth(kKeyColumn, std::max(columnWidth(kKeyColumn), keyWidth + 2 * kRowPadding));
    updateGeometry();
    return row;
}

void ValueListEditor::setEditMask(int row, const QString& delphiMask) {
    if (row < 0 || row >= m_rows.size()) return;
    m_rows[row].editMask = delphiMask;
    m_masks[row] = EditMask(delphiMask);
}

QString ValueListEditor::key(int row) const {
    const QTableWidgetItem* it = item(row, kKeyColumn);
    return it ? it->text() : QString();
}

QString ValueListEditor::value(int row) const {
    const QTableWidgetItem* it = item(row, kValueColumn);
    return it ? it->text() : QString();
}

void ValueListEditor::setValue(int row, const QString& text) {
    if (QTableWidgetItem* it = item(row, kValueColumn)) it->setText(text);
}

std::optional<QString> ValueListEditor::acceptedValue(int row, const QString& text) const {
    if (row < 0 || row >= m_rows.size() || m_rows[row].readOnly) return std::nullopt;
    const RowSpec& spec = m_rows[row];
    if (!spec.pickList.isEmpty()) {
        if (!spec.pickList.contains(text)) return std::nullopt;
        return text;
    }
    const auto masked = m_masks[row].normalise(text);
    if (!masked) return std::nullopt;
    if (spec.maxLength > 0 && masked->size() > spec.maxLength) return std::nullopt;
    if (!spec.allowedPattern.isEmpty() &&
        !QRegularExpression(QRegularExpression::anchoredPattern(spec.allowedPattern)).match(*masked).hasMatch())
        return std::nullopt;
    return masked;
}

bool ValueListEditor::commitUserValue(int row, const QString& text) {
    const auto accepted = acceptedValue(row, text);
    if (!accepted) return false;
    if (*accepted != value(row)) {
        setValue(row, *accepted);
        emit valuesChanged(row);
    }
    return true;
}

QRect ValueListEditor::editButtonRect(int row) const {
    if (row < 0 || row >= m_rows.size() || !m_rows[row].ellipsis) return {};
    const QRect cell = visualRect(model()->index(row, kValueColumn));
    return ValueListDelegate::buttonRect(cell);
}

}  // namespace kv6::widgets
