// The PROXY protocol v2 header, written here byte by byte as HAProxy's
// send-proxy-v2 sends it.
#include <gtest/gtest.h>

#include <vector>

#include "fleet/proxy_header.h"

namespace kv6::fleet::test {

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kSignature = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D, 0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};

// Signature, version/command, family/protocol, length, then the body.
Bytes header(std::uint8_t versionCommand, std::uint8_t family, const Bytes& body, int length = -1) {
    Bytes h = kSignature;
    const int n = length < 0 ? static_cast<int>(body.size()) : length;
    h.insert(h.end(), {versionCommand, family, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    h.insert(h.end(), body.begin(), body.end());
    return h;
}

// 203.0.113.7:40001 -> 10.0.0.11:8099
const Bytes kIpv4Body = {203, 0, 113, 7, 10, 0, 0, 11, 0x9C, 0x41, 0x1F, 0xA3};

}  // namespace

TEST(ProxyHeaderTest, AProxiedConnectionGivesTheModulesAddressAndPort) {
    Bytes bytes = header(0x21, 0x11, kIpv4Body);
    const std::size_t size = bytes.size();
    bytes.insert(bytes.end(), {'#', '0', '0'});  // the module's own bytes follow
    const auto r = ProxyHeader::parse(bytes);
    ASSERT_EQ(r.status, ProxyHeader::Status::Proxied) << r.problem;
    EXPECT_EQ(r.size, size);
    EXPECT_FALSE(r.ipv6);
    EXPECT_EQ((Bytes{r.address.begin(), r.address.begin() + 4}), (Bytes{203, 0, 113, 7}));
    EXPECT_EQ(r.port, 40001);

    Bytes v6(36, 0);
    v6[0] = 0x20;
    v6[1] = 0x01;
    v6[15] = 0x09;
    v6[32] = 0x12;
    v6[33] = 0x34;
    // A type-length-value field after the addresses (HAProxy's unique id, say) is skipped.
    v6.insert(v6.end(), {0x05, 0x00, 0x02, 'i', 'd'});
    const auto six = ProxyHeader::parse(header(0x21, 0x21, v6));
    ASSERT_EQ(six.status, ProxyHeader::Status::Proxied) << six.problem;
    EXPECT_TRUE(six.ipv6);
    EXPECT_EQ(six.address[0], 0x20);
    EXPECT_EQ(six.address[15], 0x09);
    EXPECT_EQ(six.port, 0x1234);
    EXPECT_EQ(six.size, 16u + 41u);

    const auto local = ProxyHeader::parse(header(0x20, 0x00, {}));
    EXPECT_EQ(local.status, ProxyHeader::Status::Local);
    EXPECT_EQ(local.size, 16u);
}

TEST(ProxyHeaderTest, AHeaderCutAnywhereWaitsForTheRest) {
    const Bytes whole = header(0x21, 0x11, kIpv4Body);
    for (std::size_t cut = 0; cut < whole.size(); ++cut)
        EXPECT_EQ(ProxyHeader::parse({whole.data(), cut}).status, ProxyHeader::Status::Incomplete) << cut;
}

TEST(ProxyHeaderTest, AnythingButAWellFormedHeaderIsRefused) {
    struct Case {
        Bytes bytes;
        const char* problem;
    };
    Bytes v1 = {'P', 'R', 'O', 'X', 'Y', ' ', 'T', 'C', 'P', '4'};
    Bytes signature = header(0x21, 0x11, kIpv4Body);
    signature[11] = 0x0B;
    Bytes unterminatedField = kIpv4Body;
    unterminatedField.insert(unterminatedField.end(), {0x05, 0x00, 0x09, 'x'});
    const std::vector<Case> cases = {
        {v1, "no PROXY protocol v2 signature"},
        {{'#', '0', '0'}, "no PROXY protocol v2 signature"},
        {signature, "no PROXY protocol v2 signature"},
        {header(0x11, 0x11, kIpv4Body), "not version 2"},
        {header(0x22, 0x11, kIpv4Body), "an unknown command"},
        {header(0x21, 0x12, kIpv4Body), "not TCP over IPv4 or IPv6"},  // UDP
        {header(0x21, 0x31, Bytes(216, 0)), "not TCP over IPv4 or IPv6"},  // a UNIX socket
        {header(0x21, 0x00, {}), "not TCP over IPv4 or IPv6"},
        {header(0x21, 0x11, Bytes(8, 0)), "a length that does not hold the addresses"},
        {header(0x21, 0x21, kIpv4Body), "a length that does not hold the addresses"},
        {header(0x21, 0x11, unterminatedField), "fields that do not fill the header"},
        {header(0x21, 0x11, kIpv4Body, 0xFFFF), "a header longer than 1024 bytes"},
    };
    for (const Case& c : cases) {
        const auto r = ProxyHeader::parse(c.bytes);
        EXPECT_EQ(r.status, ProxyHeader::Status::Invalid) << c.problem;
        EXPECT_EQ(r.problem, c.problem);
    }
}

}  // namespace kv6::fleet::test
