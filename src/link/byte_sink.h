#pragma once

#include <cstdint>
#include <span>

namespace kv6::link {

// Where serial frames go: the open port in the program, a buffer in tests.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace kv6::link
