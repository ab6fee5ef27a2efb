#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kv6::fleet {

// The PROXY protocol version 2 header a load balancer (HAProxy's
// send-proxy-v2) puts before a module's bytes: who the module is, since the
// server itself only sees the balancer's address. Read strictly: the
// signature, version 2, a PROXY command over TCP on IPv4 or IPv6 (or LOCAL:
// the balancer's own connection, such as a health check), a length that
// holds the addresses, and type-length-value fields that fill the rest
// exactly. Anything else is refused, never guessed at.
class ProxyHeader {
public:
    static constexpr std::size_t kFixedSize = 16;
    // Addresses and a few fields; a header beyond this is not a balancer's.
    static constexpr std::size_t kMaxSize = 1024;

    enum class Status {
        Incomplete,  // more bytes are needed (never more than kMaxSize in all)
        Invalid,     // not a header to accept: close the connection
        Proxied,     // the module's address and port follow
        Local,       // the balancer's own connection: keep its address
    };

    struct Result {
        Status status = Status::Incomplete;
        std::size_t size = 0;    // the header's bytes, the module's begin after them
        bool ipv6 = false;
        std::array<std::uint8_t, 16> address{};  // 4 bytes used for IPv4, network order
        std::uint16_t port = 0;
        std::string problem;     // why Invalid
    };

    // Reads the header at the start of `bytes` (everything received so far).
    [[nodiscard]] static Result parse(std::span<const std::uint8_t> bytes);
};

}  // namespace kv6::fleet
