#include "image/write_queue.h"

namespace kv6::image {

bool WriteQueue::push(WriteJob job) {
    if (size() >= kCapacity) return false;
    if (m_head >= kCapacity) {
        m_jobs.erase(m_jobs.begin(), m_jobs.begin() + static_cast<std::ptrdiff_t>(m_head));
        m_head = 0;
    }
    m_jobs.push_back(job);
    return true;
}

void WriteQueue::popHead() {
    if (empty()) return;
    if (++m_head == m_jobs.size()) clear();
}

}  // namespace kv6::image
