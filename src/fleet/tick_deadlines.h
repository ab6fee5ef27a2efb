#pragma once

#include <cstdint>
#include <limits>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kv6::fleet {

// When each connection's one-second tick next matters, so that a server
// with thousands of idle connections visits only the few that are due
// instead of walking them all every second. Ticks are numbered from the
// server's start (its monotonic clock / 1 s). A connection counts the ticks
// it was not visited for when it is next visited (catchUp): those ticks were
// quiet, so they are counted at once (the runner's skipQuietTicks).
//
// A late wake (the process stalled) gives a due connection one tick, not
// one per second missed, as a late repeating timer would.
class TickDeadlines {
public:
    static constexpr int kNever = std::numeric_limits<int>::max();

    // A connection that starts at tick `now`: no tick counted for it yet, none due.
    void add(int id, std::int64_t now);
    void remove(int id);
    // Brings a connection up to tick `now` before an event is handed to it:
    // the quiet ticks it has missed, for the runner to count. A tick already
    // due stays due (the next advance() gives it).
    [[nodiscard]] int catchUp(int id, std::int64_t now);
    // The connection's next tick that matters comes `ticks` ticks after the
    // last one counted for it (kNever: none until an event reschedules it).
    void schedule(int id, int ticks);
    // The connections due at tick `now`, earliest deadline first; each is
    // taken off the schedule and counted up to `now`. For each the caller
    // counts `quiet` ticks, runs its tick, then schedules it again.
    struct Due {
        int id = 0;
        int quiet = 0;
    };
    [[nodiscard]] std::vector<Due> advance(std::int64_t now);
    // The earliest scheduled tick, if any.
    [[nodiscard]] std::int64_t earliest() const;
    [[nodiscard]] bool empty() const { return m_order.empty(); }
    [[nodiscard]] std::size_t size() const { return m_entries.size(); }
    [[nodiscard]] bool contains(int id) const { return m_entries.count(id) != 0; }

private:
    struct Entry {
        std::int64_t counted = 0;  // the last tick counted for it
        std::int64_t due = -1;     // -1: not scheduled
    };
    void unschedule(int id, Entry& entry);

    std::unordered_map<int, Entry> m_entries;
    std::set<std::pair<std::int64_t, int>> m_order;  // (due tick, id)
};

}  // namespace kv6::fleet
