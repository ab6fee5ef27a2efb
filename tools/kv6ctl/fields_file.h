#pragma once

#include <QString>

namespace kv6::pages {
class Configuration;
}

namespace kv6::ctl {

// Loads a .prg as the desktop tool does (ReceivedImage, decode for a file
// load). Prints "kv6ctl: cannot read FILE: reason" and returns false when the
// file is missing or unreadable.
bool loadFieldsFile(pages::Configuration& configuration, const QString& path);

}  // namespace kv6::ctl
