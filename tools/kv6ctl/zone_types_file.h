#pragma once

#include <QString>
#include <QStringList>

namespace kv6::pages {
class Configuration;
}

namespace kv6::ctl {

// Takes "--paramp FILE" or "--paramp=FILE" out of the arguments. Returns
// false (with a message in `error`) when the option has no file.
bool takeParampOption(QStringList& args, QString& path, QString& error);

// Gives the zones page the zone type list of paramp as the desktop tool
// finds it: the given file, else next to the executable, else in the current
// directory; without one the preset names stay. Returns false with a
// message when a given file cannot be read.
bool applyZoneTypes(pages::Configuration& configuration, const QString& explicitPath, QString& error);

}  // namespace kv6::ctl
