#include "image/workspace.h"

#include <algorithm>
#include <string>

namespace kv6::image {

bool Workspace::QueueWrite(int address, int length) {
    if (address < 0 || length < 0 || length > 255 ||
        static_cast<std::size_t>(address + length) > kImageSize)
        return false;
    if (!queue.push(WriteJob{static_cast<std::int16_t>(address), static_cast<std::uint8_t>(length)}))
        return false;
    if (m_trace) m_trace->trace(TraceChannel::Image, "Wr_ADD " + std::to_string(address));
    return true;
}

std::span<const std::uint8_t> Workspace::jobBytes(const WriteJob& job) const {
    const auto address = static_cast<std::size_t>(static_cast<std::uint16_t>(job.address));
    if (address >= kImageSize) return {};
    const std::size_t length = std::min<std::size_t>(job.length, kImageSize - address);
    return std::span<const std::uint8_t>(ConfigImage).subspan(address, length);
}

}  // namespace kv6::image
