#include "image/write_queue.h"

namespace kv6::image {

bool WriteQueue::push(WriteJob job) {
    if (m_jobs.size() >= kCapacity) return false;
    m_jobs.push_back(job);
    return true;
}

void WriteQueue::popHead() {
    if (!m_jobs.empty()) m_jobs.erase(m_jobs.begin());
}

}  // namespace kv6::image
