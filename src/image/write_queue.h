#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kv6::image {

// One pending write of a range of ConfigImage. The bytes are not copied here:
// they are taken from ConfigImage when the job is sent, so a later encode
// before the send changes what goes out.
struct WriteJob {
    std::int16_t address = 0;
    std::uint8_t length = 0;
    friend bool operator==(const WriteJob&, const WriteJob&) = default;
};

// First-in first-out queue of at most 512 jobs.
class WriteQueue {
public:
    static constexpr std::size_t kCapacity = 512;

    // Appends a job; a job offered to a full queue is dropped. Returns whether it was queued.
    bool push(WriteJob job);
    // Removes the head job (the others move up, order kept).
    void popHead();
    void clear() {
        m_jobs.clear();
        m_head = 0;
    }

    [[nodiscard]] bool empty() const { return m_head == m_jobs.size(); }
    [[nodiscard]] std::size_t size() const { return m_jobs.size() - m_head; }
    [[nodiscard]] const WriteJob& head() const { return m_jobs[m_head]; }
    // The queued jobs, head first.
    [[nodiscard]] std::vector<WriteJob> jobs() const {
        return {m_jobs.begin() + static_cast<std::ptrdiff_t>(m_head), m_jobs.end()};
    }

private:
    // Jobs before m_head were sent: a pop moves nothing, and the sent ones
    // are dropped together (a whole image is a few hundred jobs).
    std::vector<WriteJob> m_jobs;
    std::size_t m_head = 0;
};

}  // namespace kv6::image
