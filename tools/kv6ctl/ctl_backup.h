#pragma once

#include "ctl_options.h"
#include <QString>

#include "image/image.h"

namespace kv6::pages {
class Configuration;
}

namespace kv6::ctl {

class CtlSession;

// Keeps an image read from a module in the backup folder, named after the
// object number it holds. A backup that cannot be written is a warning on
// stderr, never a failure; --no-backup keeps none.
void keepBackup(const CtlOptions& options, const image::Image& image);

// Before a command changes the module: reads the module on the session's
// (ready) link with `password` and keeps the image. A failed read is a
// warning; the command goes on. The read decodes into the session's
// configuration, so a command loads its file only after this.
void backupModule(CtlSession& session, const CtlOptions& options, const QString& password);

// The bytes a completed read brought: 2000 over the cable, 1920 remotely.
[[nodiscard]] int readBytes(bool remote);

}  // namespace kv6::ctl
