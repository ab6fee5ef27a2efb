// The PROXY protocol v2 header under arbitrary bytes: whatever arrives, the
// answer is one of the four, and an accepted header lies within the bytes
// and within the size limit, and is no header at all in any shorter piece.
#include <cstdint>
#include <span>

#include "fleet/proxy_header.h"
#include "fuzz/fuzz_input.h"

using kv6::fleet::ProxyHeader;
using kv6::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const ProxyHeader::Result r = ProxyHeader::parse(bytes);
    switch (r.status) {
        case ProxyHeader::Status::Incomplete:
            require(size < ProxyHeader::kMaxSize, "a header never waits beyond its size limit");
            break;
        case ProxyHeader::Status::Invalid:
            require(!r.problem.empty(), "a refusal says why");
            break;
        case ProxyHeader::Status::Proxied:
        case ProxyHeader::Status::Local: {
            require(r.size >= ProxyHeader::kFixedSize && r.size <= size && r.size <= ProxyHeader::kMaxSize,
                    "an accepted header lies within the bytes");
            if (r.status == ProxyHeader::Status::Proxied)
                require(r.size >= ProxyHeader::kFixedSize + (r.ipv6 ? 36u : 12u), "the addresses lie within the header");
            for (const std::size_t cut : {std::size_t{0}, ProxyHeader::kFixedSize - 1, r.size - 1})
                require(ProxyHeader::parse(bytes.first(cut)).status == ProxyHeader::Status::Incomplete,
                        "a piece of an accepted header waits for the rest");
            break;
        }
    }
    return 0;
}
