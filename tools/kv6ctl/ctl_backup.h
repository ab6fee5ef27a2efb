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

// How the read before a change went.
enum class FirstRead {
    Done,              // read whole: the module holds the password given
    PasswordMismatch,  // the module's read password is not the one given
    Failed,            // no answer
    Skipped,           // --no-backup and no read needed
};

// Before a command changes the module: reads the module on the session's
// (ready) link with `password` and keeps the image (unless --no-backup; with
// `alwaysRead` the read happens then too, for its password check). A read that
// fails is a warning here; the command decides what it means. The read decodes
// into the session's configuration, so a command loads its file only after this.
[[nodiscard]] FirstRead backupModule(CtlSession& session, const CtlOptions& options, const QString& password,
                                     bool alwaysRead = false);

// The bytes a completed read brought: 2000 over the cable, 1920 remotely.
[[nodiscard]] int readBytes(bool remote);

}  // namespace kv6::ctl
