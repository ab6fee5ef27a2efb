#include "process/log_line.h"

namespace kv6::process {

std::string formatLogLine(const LogEntry& entry, const LogStyle& style, std::string_view utcTime) {
    std::string line;
    if (style.journal) {
        line = "<" + std::to_string(syslogPriority(entry.level)) + ">";
    } else {
        line.append(utcTime);
        line += ' ';
        line += logLevelName(entry.level);
        line += ' ';
        line += style.program;
        line += ": ";
    }
    if (!entry.category.empty() && entry.category != "default" &&
        entry.category != style.mainCategory) {
        line += entry.category;
        line += ": ";
    }
    std::string_view text = entry.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.remove_suffix(1);
    for (const char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';
    return line;
}

}  // namespace kv6::process
