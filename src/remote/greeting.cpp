#include "remote/greeting.h"

namespace kv6::remote {

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm);
// valid for any year, so out-of-range input cannot overflow.
std::int64_t daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

std::uint32_t Greeting::moduleSeconds(const LocalDateTime& local, int zoneHours) {
    constexpr std::int64_t kSecondsPerDay = 86400;
    const std::int64_t days = daysFromCivil(local.year, local.month, local.day) - daysFromCivil(1900, 1, 1);
    const std::int64_t seconds = days * kSecondsPerDay + std::int64_t{local.hour} * 3600 +
                                 std::int64_t{local.minute} * 60 + local.second -
                                 std::int64_t{zoneHours} * 3600;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds));
}

Greeting::Bytes Greeting::build(const LocalDateTime& local, int zoneHours) {
    Bytes bytes{};
    const std::uint32_t seconds = moduleSeconds(local, zoneHours);
    for (std::size_t i = 0; i < 4; ++i) bytes[kTimeOffset + i] = static_cast<std::uint8_t>(seconds >> (8 * i));
    return bytes;
}

}  // namespace kv6::remote
