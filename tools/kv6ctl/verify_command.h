#pragma once

#include <vector>

#include "ctl_options.h"
#include "ctl_session.h"
#include "settings/config_diff.h"

namespace kv6::ctl {

// [begin, end) of the image.
struct ByteSpan {
    int begin;
    int end;
};

// What "write all settings" sends: 0..245 and 750..1773.
[[nodiscard]] std::vector<ByteSpan> writeAllRanges();

// The fields (and other bytes) where the module's read differs from what was
// written, over the written ranges the read reached.
[[nodiscard]] settings::ConfigDiff compareWritten(const image::Image& written, const image::Image& read, int readBytes,
                                                  const std::vector<ByteSpan>& ranges);

// The read password an image holds (bytes 244..245, high byte first), as text.
[[nodiscard]] QString imagePassword(const image::Image& image);

// Reads the module on the session's link with `password` and finishes the
// session with 0 when the written ranges hold `written`, 1 otherwise
// (differences printed).
void startVerifyRead(CtlSession& session, const CtlOptions& options, const image::Image& written,
                     const QString& password);

}  // namespace kv6::ctl
