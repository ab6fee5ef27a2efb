#include "process/repeat_folder.h"

#include <algorithm>
#include <cctype>

namespace kv6::process {

namespace {

bool folds(LogLevel level) { return level == LogLevel::Warning || level == LogLevel::Error; }

std::string kindOf(const LogEntry& entry) {
    std::string kind(logLevelName(entry.level));
    kind += '\x1f';
    kind += entry.category;
    kind += '\x1f';
    kind += RepeatFolder::shape(entry.text);
    return kind;
}

}  // namespace

std::string RepeatFolder::shape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    bool inNumber = false;
    for (const char c : text) {
        const bool digit = std::isdigit(static_cast<unsigned char>(c)) != 0;
        if (!digit)
            out += c;
        else if (!inNumber)
            out += '#';
        inNumber = digit;
    }
    return out;
}

std::string RepeatFolder::grouped(std::int64_t number) {
    std::string digits = std::to_string(number < 0 ? -number : number);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    return number < 0 ? "-" + digits : digits;
}

LogEntry RepeatFolder::summary(const Run& run) {
    const auto span = run.lastSeen - run.since;
    const std::int64_t seconds = std::max<std::int64_t>(1, (span.count() + 500) / 1000);
    LogEntry entry = run.last;
    entry.text +=
        " (repeated " + (run.counted == 1 ? std::string("once") : grouped(run.counted) + " times") +
        " in " + std::to_string(seconds) + " s" + (run.varied ? ", with other numbers)" : ")");
    return entry;
}

void RepeatFolder::summariseEnded(Ms now, std::vector<LogEntry>& out) {
    std::vector<Run*> due;
    std::vector<std::string> ended;
    for (auto& [kind, run] : m_runs) {
        if (now - run.lastSeen >= kQuiet) {
            if (run.counted > 0) due.push_back(&run);
            ended.push_back(kind);
        } else if (run.counted > 0 && now - run.since > kInterval) {
            due.push_back(&run);
        }
    }
    // In the order the failures were last seen.
    std::sort(due.begin(), due.end(),
              [](const Run* a, const Run* b) { return a->lastSeen < b->lastSeen; });
    for (const Run* run : due) out.push_back(summary(*run));
    for (Run* run : due) restart(*run, now);
    for (const std::string& kind : ended) m_runs.erase(kind);
}

void RepeatFolder::restart(Run& run, Ms now) {
    run.counted = 0;
    run.varied = false;
    run.since = now;
}

std::vector<LogEntry> RepeatFolder::add(const LogEntry& entry, Ms now) {
    std::vector<LogEntry> out;
    summariseEnded(now, out);
    if (!folds(entry.level)) {
        out.push_back(entry);
        return out;
    }
    const std::string kind = kindOf(entry);
    if (const auto it = m_runs.find(kind); it != m_runs.end()) {
        Run& run = it->second;
        run.varied = run.varied || entry.text != run.last.text;
        run.last = entry;
        run.lastSeen = now;
        ++run.counted;
        // A failure that goes on is counted every kInterval, not only at its end.
        if (now - run.since >= kInterval) {
            out.push_back(summary(run));
            restart(run, now);
        }
        return out;
    }
    if (m_runs.size() >= kMaxRuns) {
        const auto stalest = std::min_element(
            m_runs.begin(), m_runs.end(),
            [](const auto& a, const auto& b) { return a.second.lastSeen < b.second.lastSeen; });
        if (stalest->second.counted > 0) out.push_back(summary(stalest->second));
        m_runs.erase(stalest);
    }
    m_runs.emplace(kind, Run{entry, 0, false, now, now});
    out.push_back(entry);
    return out;
}

std::vector<LogEntry> RepeatFolder::tick(Ms now) {
    std::vector<LogEntry> out;
    summariseEnded(now, out);
    return out;
}

std::vector<LogEntry> RepeatFolder::flush() {
    std::vector<LogEntry> out;
    for (const auto& [kind, run] : m_runs)
        if (run.counted > 0) out.push_back(summary(run));
    m_runs.clear();
    return out;
}

}  // namespace kv6::process
