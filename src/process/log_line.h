#pragma once

#include <string>
#include <string_view>

#include "process/log_entry.h"

namespace kv6::process {

// How a program's log lines look. On a terminal or in a file each line
// carries its own time and level:
//   2026-12-08T05:40:12.345Z warning kv6d: kv6.store: statement failed: ...
// Under systemd, journald stamps the time and reads the level from a syslog
// priority prefix, and names the program itself:
//   <4>kv6.store: statement failed: ...
struct LogStyle {
    std::string program;       // "kv6d"
    std::string mainCategory;  // the program's own category, written without its name
    bool journal = false;
};

// One line, newline included; line breaks inside the text become blanks so
// that an event stays one line. `utcTime` is left out under journald.
[[nodiscard]] std::string formatLogLine(const LogEntry& entry, const LogStyle& style,
                                        std::string_view utcTime);

}  // namespace kv6::process
