#pragma once

#include "common/prompts.h"
#include "image/page_model.h"
#include "image/workspace.h"
#include "pages/common/write_link.h"

namespace kv6::pages {

// The write button every page shares ("Записать"): a ready link, the page's
// own entries raised, the question "Сохранить изменения ?", then encode and
// queue the page's jobs and start sending.
class PageWriteButton {
public:
    enum class Outcome { NoLink, Cancelled, Queued };

    PageWriteButton(image::PageModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link)
        : m_model(model), m_workspace(workspace), m_prompts(prompts), m_link(link) {}

    // No link: nothing changes. Cancelled: the own entries stay set.
    Outcome click();

private:
    image::PageModel& m_model;
    image::Workspace& m_workspace;
    Prompts& m_prompts;
    WriteLink& m_link;
};

}  // namespace kv6::pages
