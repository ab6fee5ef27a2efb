#include "pages/common/page_widget.h"

#include <QToolButton>

namespace kv6::pages {

PageWidget::PageWidget(image::PageModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
                       QWidget* parent)
    : QWidget(parent), m_workspace(workspace), m_button(model, workspace, prompts, link) {}

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

PageWriteButton::Outcome PageWidget::runWriteButton() { return m_button.click(); }

void PageWidget::raiseEntry(int entry) {
    if (!m_refreshing) m_workspace.flags.set(entry);
}

}  // namespace kv6::pages
