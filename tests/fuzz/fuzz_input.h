#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

namespace kv6::fuzz {

// Reads a fuzzer's input as a script: single bytes as choices, short runs of
// bytes as payloads. Past the end every read gives zeros / empty spans, so a
// target's loop ends by checking done().
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data, size) {}

    [[nodiscard]] bool done() const { return m_pos >= m_data.size(); }
    [[nodiscard]] std::size_t remaining() const { return m_data.size() - m_pos; }

    std::uint8_t byte() { return done() ? 0 : m_data[m_pos++]; }
    std::uint16_t word() { return static_cast<std::uint16_t>(byte() << 8 | byte()); }

    // Up to `max` bytes; the length is the next byte (or word when max > 255).
    std::span<const std::uint8_t> run(std::size_t max) {
        const std::size_t wanted = max > 255 ? word() : byte();
        const std::size_t n = std::min({wanted, max, remaining()});
        const auto out = m_data.subspan(m_pos, n);
        m_pos += n;
        return out;
    }
    std::string text(std::size_t max) {
        const auto r = run(max);
        return {r.begin(), r.end()};
    }
    std::span<const std::uint8_t> rest() {
        const auto out = m_data.subspan(m_pos);
        m_pos = m_data.size();
        return out;
    }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
};

// A property the target checks: a violation aborts, so the fuzzer keeps the input.
inline void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

}  // namespace kv6::fuzz
