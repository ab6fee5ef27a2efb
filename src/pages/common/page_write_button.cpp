#include "pages/common/page_write_button.h"

namespace kv6::pages {

PageWriteButton::Outcome PageWriteButton::click() {
    if (!m_link.ensureLink()) return Outcome::NoLink;
    // The button writes its whole page, whatever was edited.
    for (int entry : m_model.ownEntries()) m_workspace.flags.set(entry);
    if (!m_prompts.message("Сохранить изменения ?", " Запись", MessageIcon::Information, MessageButtons::OkCancel))
        return Outcome::Cancelled;
    m_model.queuePageJobs(m_workspace);
    m_model.rememberWhenWritten();  // unchanged once the module has taken it
    m_link.startWrite();
    return Outcome::Queued;
}

}  // namespace kv6::pages
