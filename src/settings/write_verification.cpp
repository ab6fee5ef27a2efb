#include "settings/write_verification.h"

namespace kv6::settings {

std::vector<ByteSpan> writeAllRanges() { return {{0, 246}, {750, 1774}}; }

ConfigDiff compareWritten(const image::Image& written, const image::Image& read, int readBytes,
                          const std::vector<ByteSpan>& ranges) {
    image::Image held = written;
    for (const ByteSpan& r : ranges)
        for (int i = r.begin; i < r.end && i < readBytes; ++i)
            held[static_cast<std::size_t>(i)] = read[static_cast<std::size_t>(i)];
    return diffImages(written, held);
}

}  // namespace kv6::settings
