#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "image/module_time.h"

namespace kv6::remote {

// A local calendar date and wall-clock time, as the computer shows it.
using LocalDateTime = image::CivilDateTime;

// The 24 bytes sent to every newly accepted connection: twenty zeros, then
// the module time (seconds since 1900-01-01 00:00 of local time minus the
// chosen time-zone hours), least significant byte first.
class Greeting {
public:
    static constexpr std::size_t kSize = 24;
    static constexpr std::size_t kTimeOffset = 20;
    using Bytes = std::array<std::uint8_t, kSize>;

    // Module time for a local date-time and the chosen zone (0 = none);
    // reduced to 32 bits as the module keeps it.
    [[nodiscard]] static std::uint32_t moduleSeconds(const LocalDateTime& local, int zoneHours);
    [[nodiscard]] static Bytes build(const LocalDateTime& local, int zoneHours);
};

}  // namespace kv6::remote
