#pragma once

#include <functional>
#include <utility>

#include "pages/common/write_link.h"

namespace kv6::app {

// The link the pages write through. A page's jobs never join another
// transfer: while a read or a write runs, `refused` says why in the status
// bar and the page sends nothing.
class GuardedWriteLink final : public pages::WriteLink {
public:
    GuardedWriteLink(pages::WriteLink& link, std::function<bool()> refused)
        : m_link(link), m_refused(std::move(refused)) {}

    bool ensureLink() override { return !m_refused() && m_link.ensureLink(); }
    void startWrite() override { m_link.startWrite(); }

private:
    pages::WriteLink& m_link;
    std::function<bool()> m_refused;
};

}  // namespace kv6::app
