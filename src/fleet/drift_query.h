#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/fleet_job.h"
#include "image/image.h"
#include "settings/config_diff.h"
#include "settings/settings_json.h"

namespace kv6::fleet {

// The modules a fleet-wide command works on: every module in the
// inventory, a list of object numbers, or the modules carrying a tag.
struct FleetTarget {
    enum class Kind { All, Objects, Tag };
    Kind kind = Kind::All;
    std::vector<std::string> objects;  // Objects: sorted, each once
    std::string tag;                   // Tag

    // "all" or "tag:NAME"; a list of objects comes from its own source (a
    // file, a JSON array) through objectList(). None with `error`.
    [[nodiscard]] static std::optional<FleetTarget> parse(std::string_view text, std::string& error);
    // The objects given, sorted and each once; none with `error` naming the first that is no object number.
    [[nodiscard]] static std::optional<FleetTarget> objectList(std::vector<std::string> objects, std::string& error);
};

// What a write would send: a kv6-settings document or a whole image.
struct DriftSource {
    WriteFormat format = WriteFormat::SettingsJson;
    settings::Json document;  // SettingsJson
    image::Image prg{};       // Prg
};

// One page of the drift of a target: the modules after `after` (an opaque
// continuation a page gave, empty for the first), at most `limit` of them.
struct DriftQuery {
    DriftSource source;
    FleetTarget target;
    std::string after;
    std::size_t limit = 100;
};

// One module's drift: what a write of the source onto its newest backup
// would change. No backup: nothing to compare.
struct DriftRow {
    std::string object;
    std::optional<std::int64_t> backupId;
    std::string takenAt;  // the backup's, UTC
    settings::ConfigDiff difference;
    std::vector<std::string> problems;  // the document's values this module's image refuses, each with its key
};

struct DriftPage {
    std::vector<DriftRow> rows;
    std::string next;   // the continuation for the next page; empty: none follows
    std::string error;  // the target was refused (an unknown tag...): no rows
};

}  // namespace kv6::fleet
