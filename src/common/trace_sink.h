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
};

// A sink that drops everything, for callers that do not trace.
class NullTraceSink final : public TraceSink {
public:
    void trace(TraceChannel, const std::string&) override {}
};

}  // namespace kv6
