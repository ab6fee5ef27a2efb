#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace kv6::pages {
class Configuration;
}

namespace kv6::ctl {

// --time-zone N, taken out of a command's arguments: N = 1..13 chooses
// "GMT+01:00" .. "GMT+13:00", 0 no zone.
struct TimeZoneOption {
    std::optional<int> item;  // the list item (-1 for none), when the option was given
    QString error;            // non-empty: the option was given wrongly
    QStringList rest;         // the arguments without it
};
[[nodiscard]] TimeZoneOption takeTimeZoneOption(const QStringList& args);

// The zone of this run: --time-zone when the process was given it, else what
// the desktop tool presets at start-up from the computer's offset.
[[nodiscard]] int runTimeZoneItem();
// Puts the run's zone into the date and time page before anything is decoded.
void applyRunTimeZone(pages::Configuration& configuration);

}  // namespace kv6::ctl
