#include "image/module_time.h"

#include <cstdio>

namespace kv6::image {

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date and back (H. Hinnant's
// algorithms); valid for any year the pickers can hold.
std::int64_t daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

const std::int64_t kEpochDays = daysFromCivil(1900, 1, 1);

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::int64_t localSecondsOf(const CivilDateTime& c) {
    const std::int64_t days = daysFromCivil(c.year, c.month, c.day) - kEpochDays;
    return days * kSecondsPerDay + std::int64_t{c.hour} * 3600 + std::int64_t{c.minute} * 60 + c.second;
}

CivilDateTime civilOf(std::int64_t localSeconds) {
    const std::int64_t days = floorDiv(localSeconds, kSecondsPerDay);
    const std::int64_t rest = localSeconds - days * kSecondsPerDay;
    CivilDateTime c;
    civilFromDays(days + kEpochDays, c.year, c.month, c.day);
    c.hour = static_cast<int>(rest / 3600);
    c.minute = static_cast<int>(rest / 60 % 60);
    c.second = static_cast<int>(rest % 60);
    return c;
}

std::int64_t localFromModule(std::uint32_t moduleSeconds, int zoneHours) {
    return std::int64_t{moduleSeconds} + std::int64_t{zoneHours} * 3600;
}

std::uint32_t moduleFromLocal(std::int64_t localSeconds, int zoneHours) {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(localSeconds - std::int64_t{zoneHours} * 3600));
}

bool fitsModuleTime(std::int64_t localSeconds, int zoneHours) {
    const std::int64_t seconds = localSeconds - std::int64_t{zoneHours} * 3600;
    return seconds >= 0 && seconds <= kMaxModuleSeconds;
}

std::string formatLocal(std::int64_t localSeconds, char timeSeparator) {
    const CivilDateTime c = civilOf(localSeconds);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d%c%02d%c%02d", c.year, c.month, c.day, c.hour,
                  timeSeparator, c.minute, timeSeparator, c.second);
    return text;
}

std::optional<std::int64_t> parseLocal(const std::string& text) {
    // Exactly "dddd-dd-dd dd:dd:dd".
    static constexpr char kShape[] = "0000-00-00 00:00:00";
    if (text.size() != sizeof kShape - 1) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == '0' ? !digit : text[i] != kShape[i]) return std::nullopt;
    }
    auto number = [&](std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    CivilDateTime c{number(0, 4), number(5, 2), number(8, 2), number(11, 2), number(14, 2), number(17, 2)};
    if (c.month < 1 || c.month > 12 || c.day < 1 || c.day > daysInMonth(c.year, c.month) || c.hour > 23 ||
        c.minute > 59 || c.second > 59)
        return std::nullopt;
    return localSecondsOf(c);
}

}  // namespace kv6::image
