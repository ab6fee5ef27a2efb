#pragma once

#include <string>
#include <vector>

#include "image/image.h"

namespace kv6::settings {

// One field that shows a different value in the two images.
struct FieldDifference {
    std::string key;  // page.key
    std::string before;
    std::string after;
};

// Bytes first..last (inclusive) differ, and no field shows the difference.
struct ByteRange {
    int first = 0;
    int last = 0;
};

struct ConfigDiff {
    std::vector<FieldDifference> fields;  // in page and field order
    std::vector<ByteRange> otherBytes;    // ascending
    [[nodiscard]] bool empty() const { return fields.empty() && otherBytes.empty(); }
};

// Compares two images as files, each decoded as a file load. A differing byte
// counts as "other" when setting the differing fields in `before` (as kv6ctl
// set does) does not produce it: no field change accounts for it. The diff is
// empty only for equal images.
[[nodiscard]] ConfigDiff diffImages(const image::Image& before, const image::Image& after);

// The difference as `kv6ctl diff` prints it: "key: before -> after" per field
// (texts escaped), then "bytes F..L differ, and no field shows it", one per line.
[[nodiscard]] std::string diffText(const ConfigDiff& diff);

}  // namespace kv6::settings
