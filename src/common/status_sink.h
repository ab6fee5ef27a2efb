#pragma once

#include <string>

namespace kv6 {

// The three panels of the main window's status bar.
enum class StatusPanel { Port = 0, Operation = 1, Remote = 2 };

// Receives the status texts of module operations. Texts are UTF-8.
class StatusSink {
public:
    virtual ~StatusSink() = default;
    virtual void setStatus(StatusPanel panel, const std::string& text) = 0;
};

}  // namespace kv6
