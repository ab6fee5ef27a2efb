#pragma once

#include <vector>

#include "image/image.h"
#include "settings/config_diff.h"

namespace kv6::settings {

// [begin, end) of the image.
struct ByteSpan {
    int begin;
    int end;
};

// What "write all settings" sends: 0..245 and 750..1773.
[[nodiscard]] std::vector<ByteSpan> writeAllRanges();

// The fields (and other bytes) where the module's read differs from what was
// written, over the written ranges the read reached (`readBytes` from 0).
[[nodiscard]] ConfigDiff compareWritten(const image::Image& written, const image::Image& read, int readBytes,
                                        const std::vector<ByteSpan>& ranges);

}  // namespace kv6::settings
