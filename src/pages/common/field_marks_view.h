#pragma once

#include <QObject>
#include <QPointer>
#include <string>
#include <vector>

#include "image/page_model.h"

class QMenu;
class QTableWidget;
class QWidget;

namespace kv6::pages {

// Draws what the page model counts as changed: bold text in a field's editor,
// a coloured cell in a grid. A marked field's context menu puts back its
// remembered value; "Отменить изменения" puts back the whole page's.
class FieldMarksView final : public QObject {
    Q_OBJECT

public:
    explicit FieldMarksView(image::PageModel& model, QObject* parent = nullptr);

    // An editor showing one field; its context menu gets the revert actions.
    void addEditor(QWidget* editor, const std::string& key);
    // A grid cell showing one field, or several (a GSM number with its dialog's values).
    void addCell(QTableWidget* grid, int row, int column, std::vector<std::string> keys);

    [[nodiscard]] bool isMarked(const std::string& key) const;
    [[nodiscard]] bool anyMarked() const { return !m_changed.empty(); }

    // Reads the model's changes and draws them (not while quiet: the page is
    // filling its editors and the model is not whole yet).
    void update();
    void setQuiet(bool quiet) { m_quiet = quiet; }
    void revertFields(const std::vector<std::string>& keys);
    void revertPage();
    // The revert actions, for a context menu of the page's own.
    void addRevertActions(QMenu& menu, const std::vector<std::string>& keys);

signals:
    // After update(): whether the page holds a changed field.
    void marksChanged(bool anyMarked);
    // The model got remembered values back: the page shows its model again.
    void reverted();

private:
    struct Editor {
        QPointer<QWidget> widget;
        std::string key;
    };
    struct Cell {
        QPointer<QTableWidget> grid;
        int row;
        int column;
        std::vector<std::string> keys;
    };

    void showEditorMenu(const Editor& editor, const QPoint& pos);
    void showGridMenu(QTableWidget* grid, const QPoint& pos);
    void drawEditor(const Editor& editor) const;
    void drawCell(const Cell& cell) const;
    [[nodiscard]] bool anyMarked(const std::vector<std::string>& keys) const;

    image::PageModel& m_model;
    std::vector<Editor> m_editors;
    std::vector<Cell> m_cells;
    std::vector<QTableWidget*> m_grids;
    std::vector<std::string> m_changed;
    bool m_quiet = false;
};

}  // namespace kv6::pages
