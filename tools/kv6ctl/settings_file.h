#pragma once

#include <QString>
#include <optional>

#include "settings/settings_json.h"

namespace kv6::ctl {

// Reads and parses a JSON settings file; prints "kv6ctl: PATH: reason" and
// gives nothing when it cannot be read or is not JSON.
[[nodiscard]] std::optional<settings::Json> readSettingsFile(const QString& path);

// Writes text to a file atomically, or to stdout for "-". Returns the reason on failure.
[[nodiscard]] QString writeTextFile(const QString& path, const std::string& text);

}  // namespace kv6::ctl
