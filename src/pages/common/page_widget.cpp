#include "pages/common/page_widget.h"

#include <QToolButton>

namespace kv6::pages {

PageWidget::PageWidget(image::PageModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
                       QWidget* parent)
    : QWidget(parent),
      m_workspace(workspace),
      m_button(model, workspace, prompts, link),
      m_marks(new FieldMarksView(model, this)) {
    // Reverting puts values into the model; the editors then show them.
    connect(m_marks, &FieldMarksView::reverted, this, [this] { refreshFromModel(); });
}

void PageWidget::setWriteEnabled(bool enabled) {
    if (m_writeButton) m_writeButton->setEnabled(enabled);
}

QToolButton* PageWidget::createWriteButton(const QString& objectName) {
    m_writeButton = new QToolButton(this);
    m_writeButton->setObjectName(objectName);
    m_writeButton->setText(tr("Записать"));
    m_writeButton->setToolTip(tr("Записать"));
    m_writeButton->setEnabled(false);
    connect(m_writeButton, &QToolButton::clicked, this, [this] { runWriteButton(); });
    return m_writeButton;
}

PageWriteButton::Outcome PageWidget::runWriteButton() {
    const PageWriteButton::Outcome outcome = m_button.click();
    m_marks->update();
    return outcome;
}

void PageWidget::raiseEntry(int entry) {
    if (m_refreshing) return;
    m_workspace.flags.set(entry);
    m_marks->update();
}

}  // namespace kv6::pages
