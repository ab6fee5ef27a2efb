#pragma once

#include "common/trace_sink.h"

namespace kv6::app {

// Trace lines to the Qt logging categories kv6.link, kv6.remote and kv6.image,
// at debug level so they stay off unless QT_LOGGING_RULES="kv6.*=true".
class LoggingTraceSink final : public TraceSink {
public:
    void trace(TraceChannel channel, const std::string& line) override;
    [[nodiscard]] bool tracing(TraceChannel channel) const override;
};

}  // namespace kv6::app
