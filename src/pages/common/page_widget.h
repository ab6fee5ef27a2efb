#pragma once

#include <QWidget>

#include "common/prompts.h"
#include "image/page_model.h"
#include "image/workspace.h"
#include "pages/common/field_marks_view.h"
#include "pages/common/page_write_button.h"
#include "pages/common/write_link.h"

class QToolButton;

namespace kv6::pages {

// What every settings page widget shares: its model, the workspace whose
// SectionFlags its editors raise, and the write button ("Записать") run
// through PageWriteButton. Editors write into the model as they change;
// refreshFromModel() shows the model after a decode without raising entries.
class PageWidget : public QWidget {
    Q_OBJECT

public:
    PageWidget(image::PageModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
               QWidget* parent = nullptr);

    virtual void refreshFromModel() = 0;

    [[nodiscard]] QToolButton* writeButton() const { return m_writeButton; }
    // The write buttons stay disabled until the first completed read or file load.
    void setWriteEnabled(bool enabled);

    // The changed-field marks of this page (its model against what it last remembered).
    [[nodiscard]] FieldMarksView& marks() { return *m_marks; }

protected:
    // The page's write button, disabled, with the hint "Записать".
    QToolButton* createWriteButton(const QString& objectName);
    // The button's click: link, own entries, question, encode + queue, start.
    PageWriteButton::Outcome runWriteButton();

    // Raises a SectionFlags entry for a user's edit (not while refreshing).
    void raiseEntry(int entry);
    [[nodiscard]] bool refreshing() const { return m_refreshing; }

    // Marks a refresh: editor signals then only update what they show.
    class RefreshScope {
    public:
        explicit RefreshScope(PageWidget& page) : m_page(page), m_previous(page.m_refreshing) {
            page.m_refreshing = true;
            page.m_marks->setQuiet(true);
        }
        // The marks are drawn once the page shows its whole model.
        ~RefreshScope() {
            m_page.m_refreshing = m_previous;
            if (m_previous) return;
            m_page.m_marks->setQuiet(false);
            m_page.m_marks->update();
        }
        RefreshScope(const RefreshScope&) = delete;
        RefreshScope& operator=(const RefreshScope&) = delete;

    private:
        PageWidget& m_page;
        bool m_previous;
    };

    image::Workspace& m_workspace;

private:
    PageWriteButton m_button;
    FieldMarksView* m_marks = nullptr;
    QToolButton* m_writeButton = nullptr;
    bool m_refreshing = false;
};

}  // namespace kv6::pages
