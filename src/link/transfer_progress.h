#pragma once

#include <cstddef>
#include <optional>

namespace kv6::link {

// How far a transfer is: blocks of a read, or write jobs sent.
struct TransferProgress {
    int done = 0;
    int total = 0;
};

// Counts the write jobs sent of all queued since the queue was last empty;
// jobs queued while others are sent add to the total.
class JobProgress {
public:
    // `waiting`: the jobs in the queue now. Nothing while the queue is empty.
    [[nodiscard]] std::optional<TransferProgress> observe(std::size_t waiting) {
        if (waiting == 0) {
            m_total = 0;
            m_lastWaiting = 0;
            return std::nullopt;
        }
        if (waiting > m_lastWaiting) m_total += waiting - m_lastWaiting;
        m_lastWaiting = waiting;
        return TransferProgress{static_cast<int>(m_total - waiting), static_cast<int>(m_total)};
    }

private:
    std::size_t m_total = 0;
    std::size_t m_lastWaiting = 0;
};

}  // namespace kv6::link
