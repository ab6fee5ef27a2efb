#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kv6::image {

// Module time: an unsigned 32-bit count of seconds since 1900-01-01 00:00:00
// UTC. The tool shows it as local time, the chosen zone's whole hours ahead.
// Local times are held as signed seconds since 1900-01-01 00:00:00 of the
// local calendar, so that any value the pickers hold can be represented.
struct CivilDateTime {
    int year = 1900;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    friend bool operator==(const CivilDateTime&, const CivilDateTime&) = default;
};

inline constexpr std::int64_t kSecondsPerDay = 86400;
inline constexpr std::int64_t kMaxModuleSeconds = 0xFFFFFFFFLL;

[[nodiscard]] std::int64_t localSecondsOf(const CivilDateTime& civil);
[[nodiscard]] CivilDateTime civilOf(std::int64_t localSeconds);

// The local time a module time shows in a zone of `zoneHours` (0 = none).
[[nodiscard]] std::int64_t localFromModule(std::uint32_t moduleSeconds, int zoneHours);
// Local time minus the zone, reduced to 32 bits as the module keeps it.
[[nodiscard]] std::uint32_t moduleFromLocal(std::int64_t localSeconds, int zoneHours);
// Whether a local time stands for a module time without wrapping round.
[[nodiscard]] bool fitsModuleTime(std::int64_t localSeconds, int zoneHours);

// "yyyy-mm-dd hh:nn:ss" with `timeSeparator` between the time parts
// (the journal shows '-', the command line ':').
[[nodiscard]] std::string formatLocal(std::int64_t localSeconds, char timeSeparator);
// "YYYY-MM-DD hh:mm:ss", every part in range; nothing for anything else.
[[nodiscard]] std::optional<std::int64_t> parseLocal(const std::string& text);

}  // namespace kv6::image
