#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "process/log_entry.h"

namespace kv6::process {

// Keeps a failure that repeats from flooding the log: during a database
// outage every statement fails alike, thousands of times a minute.
//
// A warning or error is written the first time; later ones of the same kind
// (same level and category, same text once its numbers are set aside, so
// that "object 1001" and "object 1002" count as one kind) are only counted.
// The count is written as one line, "TEXT (repeated N times in S s)" with
// the last such text, once the kind has been quiet for kQuiet, or every
// kInterval while it goes on. Informational and debug lines are events of
// their own and always written.
//
//   first of a kind --> written, run open
//   same kind again --> counted
//   quiet kQuiet    --> summary written (if any counted), run closed
//   kInterval since the last line of the run --> summary written, run goes on
//
// Times are the caller's monotonic clock; nothing here reads one.
class RepeatFolder {
public:
    using Ms = std::chrono::milliseconds;
    static constexpr Ms kQuiet{10'000};
    static constexpr Ms kInterval{60'000};
    static constexpr std::size_t kMaxRuns =
        256;  // kinds followed at once; the stalest is summed up first

    // The lines to write for `entry` at `now`: summaries of runs that ended
    // first, then the entry itself unless it was counted.
    [[nodiscard]] std::vector<LogEntry> add(const LogEntry& entry, Ms now);
    // The summaries due at `now`.
    [[nodiscard]] std::vector<LogEntry> tick(Ms now);
    // The summaries of every open run (the program ends).
    [[nodiscard]] std::vector<LogEntry> flush();

    // The text with every run of digits replaced by '#'.
    [[nodiscard]] static std::string shape(const std::string& text);
    // 1873 as "1,873".
    [[nodiscard]] static std::string grouped(std::int64_t number);

private:
    struct Run {
        LogEntry last;             // the last text of the kind
        std::int64_t counted = 0;  // repeats not yet written
        bool varied = false;       // the counted texts were not all the written one
        Ms since{};                // the last line written for the run
        Ms lastSeen{};
    };
    [[nodiscard]] static LogEntry summary(const Run& run);
    void summariseEnded(Ms now, std::vector<LogEntry>& out);
    static void restart(Run& run, Ms now);

    std::map<std::string, Run> m_runs;  // by kind
};

}  // namespace kv6::process
