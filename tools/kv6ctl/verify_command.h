#pragma once

#include <vector>

#include "ctl_options.h"
#include "ctl_session.h"
#include "settings/config_diff.h"
#include "settings/write_verification.h"

namespace kv6::ctl {

using settings::ByteSpan;
using settings::compareWritten;
using settings::writeAllRanges;

// The read password an image holds (bytes 244..245, high byte first), as text.
[[nodiscard]] QString imagePassword(const image::Image& image);

// Reads the module on the session's link with `password` and finishes the
// session with 0 when the written ranges hold `written`, 1 otherwise
// (differences printed).
void startVerifyRead(CtlSession& session, const CtlOptions& options, const image::Image& written,
                     const QString& password);

}  // namespace kv6::ctl
