#include "fleet/tick_deadlines.h"

#include <algorithm>

namespace kv6::fleet {

void TickDeadlines::add(int id, std::int64_t now) {
    remove(id);
    m_entries.emplace(id, Entry{now, -1});
}

void TickDeadlines::remove(int id) {
    const auto it = m_entries.find(id);
    if (it == m_entries.end()) return;
    unschedule(id, it->second);
    m_entries.erase(it);
}

void TickDeadlines::unschedule(int id, Entry& entry) {
    if (entry.due >= 0) m_order.erase({entry.due, id});
    entry.due = -1;
}

int TickDeadlines::catchUp(int id, std::int64_t now) {
    const auto it = m_entries.find(id);
    if (it == m_entries.end()) return 0;
    Entry& entry = it->second;
    // Never past a due tick: that one is the runner's to run, not to count.
    const std::int64_t upTo = entry.due >= 0 ? std::min(now, entry.due - 1) : now;
    if (upTo <= entry.counted) return 0;
    const auto missed = static_cast<int>(std::min<std::int64_t>(upTo - entry.counted, kNever - 1));
    entry.counted = upTo;
    return missed;
}

void TickDeadlines::schedule(int id, int ticks) {
    const auto it = m_entries.find(id);
    if (it == m_entries.end()) return;
    Entry& entry = it->second;
    // A connection in a job is rescheduled at each of its frames, mostly to
    // the tick it is already due at: left in place, not taken out and put back.
    const std::int64_t due = ticks == kNever ? -1 : entry.counted + std::max(1, ticks);
    if (due == entry.due) return;
    unschedule(id, entry);
    if (due < 0) return;
    entry.due = due;
    m_order.emplace(entry.due, id);
}

std::vector<TickDeadlines::Due> TickDeadlines::advance(std::int64_t now) {
    std::vector<Due> due;
    while (!m_order.empty() && m_order.begin()->first <= now) {
        const auto [tick, id] = *m_order.begin();
        m_order.erase(m_order.begin());
        Entry& entry = m_entries.at(id);
        // The ticks before the due one were quiet; those after it, missed
        // while the process was held up, are not run one by one.
        due.push_back({id, static_cast<int>(tick - 1 - entry.counted)});
        entry.counted = now;
        entry.due = -1;
    }
    return due;
}

std::int64_t TickDeadlines::earliest() const { return m_order.empty() ? -1 : m_order.begin()->first; }

}  // namespace kv6::fleet
