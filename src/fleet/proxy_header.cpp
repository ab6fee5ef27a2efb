#include "fleet/proxy_header.h"

#include <algorithm>

namespace kv6::fleet {

namespace {

constexpr std::array<std::uint8_t, 12> kSignature = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D,
                                                     0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};
constexpr std::uint8_t kVersion2 = 0x20;
constexpr std::uint8_t kCommandLocal = 0x00;
constexpr std::uint8_t kCommandProxy = 0x01;
constexpr std::uint8_t kTcpOverIpv4 = 0x11;
constexpr std::uint8_t kTcpOverIpv6 = 0x21;
constexpr std::size_t kIpv4Addresses = 12;  // source, destination, source port, destination port
constexpr std::size_t kIpv6Addresses = 36;
constexpr std::size_t kFieldHead = 3;       // type, length high, length low

ProxyHeader::Result invalid(std::string problem) {
    ProxyHeader::Result r;
    r.status = ProxyHeader::Status::Invalid;
    r.problem = std::move(problem);
    return r;
}

std::uint16_t word(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

// The type-length-value fields after the addresses must fill the header exactly.
bool fieldsFill(std::span<const std::uint8_t> fields) {
    std::size_t at = 0;
    while (at < fields.size()) {
        if (fields.size() - at < kFieldHead) return false;
        const std::size_t length = word(fields, at + 1);
        if (fields.size() - at - kFieldHead < length) return false;
        at += kFieldHead + length;
    }
    return true;
}

}  // namespace

ProxyHeader::Result ProxyHeader::parse(std::span<const std::uint8_t> bytes) {
    // A wrong byte of the signature refuses at once, before the rest arrives.
    const std::size_t known = std::min(bytes.size(), kSignature.size());
    if (!std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(known), kSignature.begin()))
        return invalid("no PROXY protocol v2 signature");
    if (bytes.size() < kFixedSize) return {};
    const std::uint8_t versionCommand = bytes[12];
    if ((versionCommand & 0xF0) != kVersion2) return invalid("not version 2");
    const std::uint8_t command = versionCommand & 0x0F;
    if (command != kCommandLocal && command != kCommandProxy) return invalid("an unknown command");
    const std::uint8_t family = bytes[13];
    const std::size_t length = word(bytes, 14);
    if (kFixedSize + length > kMaxSize) return invalid("a header longer than " + std::to_string(kMaxSize) + " bytes");
    std::size_t addresses = 0;
    if (command == kCommandProxy) {
        if (family == kTcpOverIpv4)
            addresses = kIpv4Addresses;
        else if (family == kTcpOverIpv6)
            addresses = kIpv6Addresses;
        else
            return invalid("not TCP over IPv4 or IPv6");
        if (length < addresses) return invalid("a length that does not hold the addresses");
    }
    if (bytes.size() < kFixedSize + length) return {};
    const auto body = bytes.subspan(kFixedSize, length);
    if (!fieldsFill(body.subspan(addresses))) return invalid("fields that do not fill the header");

    Result r;
    r.size = kFixedSize + length;
    if (command == kCommandLocal) {
        r.status = Status::Local;
        return r;
    }
    r.status = Status::Proxied;
    r.ipv6 = family == kTcpOverIpv6;
    const std::size_t addressSize = r.ipv6 ? 16 : 4;
    std::copy_n(body.begin(), addressSize, r.address.begin());
    r.port = word(body, 2 * addressSize);
    return r;
}

}  // namespace kv6::fleet
