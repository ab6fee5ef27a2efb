#pragma once

#include <string>
#include <string_view>

namespace kv6::process {

// How much a log line matters, from the developer's detail to the end of the program.
enum class LogLevel { Debug, Info, Warning, Error, Fatal };

// One message as the program logged it.
struct LogEntry {
    LogLevel level = LogLevel::Info;
    std::string category;  // "kv6.store"; "default" for uncategorised messages
    std::string text;
};

[[nodiscard]] constexpr std::string_view logLevelName(LogLevel level) {
    switch (level) {
        case LogLevel::Debug:
            return "debug";
        case LogLevel::Info:
            return "info";
        case LogLevel::Warning:
            return "warning";
        case LogLevel::Error:
            return "error";
        case LogLevel::Fatal:
            return "fatal";
    }
    return "info";
}

// The syslog priority journald reads from a "<N>" prefix.
[[nodiscard]] constexpr int syslogPriority(LogLevel level) {
    switch (level) {
        case LogLevel::Debug:
            return 7;
        case LogLevel::Info:
            return 6;
        case LogLevel::Warning:
            return 4;
        case LogLevel::Error:
            return 3;
        case LogLevel::Fatal:
            return 2;
    }
    return 6;
}

}  // namespace kv6::process
