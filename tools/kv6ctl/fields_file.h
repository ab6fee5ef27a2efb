#pragma once

#include <QString>
#include <QStringList>

namespace kv6::pages {
class Configuration;
}

namespace kv6::ctl {

// Takes "--force" out of the arguments; true when it was there.
[[nodiscard]] bool takeForceOption(QStringList& args);

// A .prg that is not 4096 bytes is no configuration: unless `force`, prints
// "kv6ctl COMMAND: FILE is N bytes, not a 4096-byte configuration" with
// `advice` after it and returns false.
[[nodiscard]] bool acceptFileSize(const char* command, const QString& path, qint64 size, bool force,
                                  const char* advice = "--force loads it as the desktop tool does");

// Loads a .prg as the desktop tool does (ReceivedImage, decode for a file
// load). Prints "kv6ctl: cannot read FILE: reason" and returns false when the
// file is missing or unreadable, and refuses a file of another size than
// 4096 bytes as acceptFileSize does.
bool loadFieldsFile(pages::Configuration& configuration, const QString& path, const char* command, bool force,
                    const char* advice = "--force loads it as the desktop tool does");

}  // namespace kv6::ctl
