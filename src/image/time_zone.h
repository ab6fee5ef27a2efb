#pragma once

namespace kv6::image {

// The time-zone list "GMT+01:00" .. "GMT+13:00": item i stands for i + 1 hours.
inline constexpr int kTimeZoneItems = 13;

// The item preset from the computer's offset east of UTC, in minutes:
// offset / 60 - 1, truncating toward zero; -1 (no selection) outside the list.
[[nodiscard]] constexpr int timeZoneItemFromUtcOffset(int offsetMinutes) {
    const int item = offsetMinutes / 60 - 1;
    return item >= 0 && item < kTimeZoneItems ? item : -1;
}

// Hours that an item subtracts from local time (0 for no selection).
[[nodiscard]] constexpr int timeZoneHours(int item) {
    return item >= 0 && item < kTimeZoneItems ? item + 1 : 0;
}

static_assert(timeZoneItemFromUtcOffset(180) == 2);   // UTC+3 -> "GMT+03:00"
static_assert(timeZoneItemFromUtcOffset(0) == -1);    // UTC: no selection
static_assert(timeZoneItemFromUtcOffset(-300) == -1); // west of UTC: no selection
static_assert(timeZoneItemFromUtcOffset(330) == 4);   // UTC+5:30 -> "GMT+05:00"
static_assert(timeZoneItemFromUtcOffset(14 * 60) == -1);
static_assert(timeZoneHours(2) == 3 && timeZoneHours(-1) == 0);

}  // namespace kv6::image
