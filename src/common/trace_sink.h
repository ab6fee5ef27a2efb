#pragma once

#include <string>

namespace kv6 {

// Protocol trace lines, for a field engineer; off by default in the Qt layer
// (logging categories kv6.link, kv6.remote, kv6.image).
enum class TraceChannel { Link, Remote, Image };

class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void trace(TraceChannel channel, const std::string& line) = 0;
    // False when lines of the channel go nowhere, so that callers can skip
    // building them (a received chunk is traced byte by byte).
    [[nodiscard]] virtual bool tracing(TraceChannel) const { return true; }
};

// A sink that drops everything, for callers that do not trace.
class NullTraceSink final : public TraceSink {
public:
    void trace(TraceChannel, const std::string&) override {}
    [[nodiscard]] bool tracing(TraceChannel) const override { return false; }
};

}  // namespace kv6
