#include "pages/common/field_marks_view.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <algorithm>
#include <functional>

#include "widgets/spin_box_menu_entries.h"

namespace kv6::pages {

namespace {

const QColor kMarkedCell(255, 230, 150);  // a pale amber, readable under the bold text

// The signal an editor raises on every change of what it shows.
void onEdited(QWidget* editor, QObject* receiver, const std::function<void()>& slot) {
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        QObject::connect(line, &QLineEdit::textChanged, receiver, slot);
    else if (auto* button = qobject_cast<QAbstractButton*>(editor))
        QObject::connect(button, &QAbstractButton::toggled, receiver, slot);
    else if (auto* combo = qobject_cast<QComboBox*>(editor))
        QObject::connect(combo, &QComboBox::currentIndexChanged, receiver, slot);
    else if (auto* spin = qobject_cast<QSpinBox*>(editor))
        QObject::connect(spin, &QSpinBox::valueChanged, receiver, slot);
    else if (auto* picker = qobject_cast<QDateTimeEdit*>(editor))
        QObject::connect(picker, &QDateTimeEdit::dateTimeChanged, receiver, slot);
}

}  // namespace

FieldMarksView::FieldMarksView(image::PageModel& model, QObject* parent) : QObject(parent), m_model(model) {}

void FieldMarksView::addEditor(QWidget* editor, const std::string& key) {
    if (!editor) return;
    m_editors.push_back({editor, key});
    onEdited(editor, this, [this] { update(); });
    const Editor entry = m_editors.back();
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(editor)) {
        // Qt's own menu with Copy, Paste and the steps, the revert entries added.
        new widgets::SpinBoxMenuEntries(spin, [this, key](QMenu& menu) { addRevertActions(menu, {key}); });
    } else {
        editor->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(editor, &QWidget::customContextMenuRequested, this,
                [this, entry](const QPoint& pos) { showEditorMenu(entry, pos); });
    }
    drawEditor(entry);
}

void FieldMarksView::addCell(QTableWidget* grid, int row, int column, std::vector<std::string> keys) {
    if (!grid) return;
    m_cells.push_back({grid, row, column, std::move(keys)});
    if (std::find(m_grids.begin(), m_grids.end(), grid) == m_grids.end()) {
        m_grids.push_back(grid);
        connect(grid, &QTableWidget::itemChanged, this, [this] { update(); });
        grid->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid, &QWidget::customContextMenuRequested, this,
                [this, grid](const QPoint& pos) { showGridMenu(grid, pos); });
    }
    drawCell(m_cells.back());
}

bool FieldMarksView::isMarked(const std::string& key) const {
    return std::find(m_changed.begin(), m_changed.end(), key) != m_changed.end();
}

bool FieldMarksView::anyMarked(const std::vector<std::string>& keys) const {
    return std::any_of(keys.begin(), keys.end(), [this](const std::string& key) { return isMarked(key); });
}

void FieldMarksView::update() {
    if (m_quiet) return;
    m_changed = m_model.changedKeys();
    for (const Editor& editor : m_editors) drawEditor(editor);
    for (const Cell& cell : m_cells) drawCell(cell);
    emit marksChanged(anyMarked());
}

void FieldMarksView::drawEditor(const Editor& editor) const {
    if (!editor.widget) return;
    QFont font = editor.widget->font();
    const bool marked = isMarked(editor.key);
    if (font.bold() == marked) return;
    font.setBold(marked);
    editor.widget->setFont(font);
}

void FieldMarksView::drawCell(const Cell& cell) const {
    if (!cell.grid) return;
    QTableWidgetItem* item = cell.grid->item(cell.row, cell.column);
    if (!item) return;
    const bool marked = anyMarked(cell.keys);
    if (item->font().bold() == marked) return;
    const QSignalBlocker quiet(cell.grid);  // a look, not an edit
    QFont font = item->font();
    font.setBold(marked);
    item->setFont(font);
    item->setData(Qt::BackgroundRole, marked ? QVariant(kMarkedCell) : QVariant());
}

void FieldMarksView::revertFields(const std::vector<std::string>& keys) {
    for (const std::string& key : keys) m_model.revertField(key);
    emit reverted();  // the page's refresh draws the marks again
}

void FieldMarksView::revertPage() {
    m_model.revertAll();
    emit reverted();
}

void FieldMarksView::addRevertActions(QMenu& menu, const std::vector<std::string>& keys) {
    QAction* field = menu.addAction(tr("Отменить изменение поля"));
    field->setObjectName(QStringLiteral("RevertField"));
    field->setEnabled(anyMarked(keys));
    connect(field, &QAction::triggered, this, [this, keys] { revertFields(keys); });
    QAction* page = menu.addAction(tr("Отменить изменения"));
    page->setObjectName(QStringLiteral("RevertPage"));
    page->setEnabled(anyMarked());
    connect(page, &QAction::triggered, this, [this] { revertPage(); });
}

void FieldMarksView::showEditorMenu(const Editor& editor, const QPoint& pos) {
    if (!editor.widget) return;
    auto* line = qobject_cast<QLineEdit*>(editor.widget.data());
    QMenu* menu = line ? line->createStandardContextMenu() : new QMenu(editor.widget);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (line) menu->addSeparator();
    addRevertActions(*menu, {editor.key});
    menu->popup(editor.widget->mapToGlobal(pos));
}

void FieldMarksView::showGridMenu(QTableWidget* grid, const QPoint& pos) {
    std::vector<std::string> keys;
    const QModelIndex index = grid->indexAt(pos);  // a scroll area reports viewport positions
    for (const Cell& cell : m_cells)
        if (cell.grid == grid && cell.row == index.row()) keys = cell.keys;
    auto* menu = new QMenu(grid);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    addRevertActions(*menu, keys);
    menu->popup(grid->viewport()->mapToGlobal(pos));
}

}  // namespace kv6::pages
