#pragma once

#include <cstdint>
#include <span>

namespace kv6::remote {

// Where the session's bytes go: the socket of one accepted connection.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void sendBytes(int connectionId, std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace kv6::remote
