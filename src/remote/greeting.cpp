#include "remote/greeting.h"

#include "image/module_time.h"

namespace kv6::remote {

std::uint32_t Greeting::moduleSeconds(const LocalDateTime& local, int zoneHours) {
    return image::moduleFromLocal(image::localSecondsOf(local), zoneHours);
}

Greeting::Bytes Greeting::build(const LocalDateTime& local, int zoneHours) {
    Bytes bytes{};
    const std::uint32_t seconds = moduleSeconds(local, zoneHours);
    for (std::size_t i = 0; i < 4; ++i) bytes[kTimeOffset + i] = static_cast<std::uint8_t>(seconds >> (8 * i));
    return bytes;
}

}  // namespace kv6::remote
