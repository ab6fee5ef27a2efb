#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <span>
#include <vector>

namespace kv6::fleet::test {

// The module's end of the frames, read from the raw bytes: byte 3 command,
// 4-5 address (high first), 6 length, data from byte 8. Answers as the
// module does; replies are collected for the test to hand to the runner.
struct FakeModule {
    std::array<std::uint8_t, 4096> memory{};
    std::set<int> forgetWritesAt;  // acknowledged but not stored
    bool acknowledgesWrites = true;  // false: writes are stored but never answered
    int writeFrames = 0;
    int passwordFrames = 0;
    int resetFrames = 0;
    std::vector<std::uint8_t> lastPasswordData;

    explicit FakeModule(std::uint16_t password) {
        memory.fill(0);
        memory[244] = static_cast<std::uint8_t>(password >> 8);
        memory[245] = static_cast<std::uint8_t>(password & 0xFF);
    }

    // The answer to one 129-byte frame (empty for a keep-alive).
    std::vector<std::uint8_t> answer(std::span<const std::uint8_t> f) {
        const int address = f[4] << 8 | f[5];
        const int length = f[6];
        std::vector<std::uint8_t> r = {'~', f[1], f[2], f[3], f[4], f[5], f[6], 0};
        switch (f[3]) {
            case 'R':
                r.resize(136);
                for (int i = 0; i < 128 && address + i < 4096; ++i) r[8 + static_cast<std::size_t>(i)] = memory[static_cast<std::size_t>(address + i)];
                return r;
            case 'W':
                ++writeFrames;
                if (!forgetWritesAt.count(address))
                    for (int i = 0; i < length; ++i) memory[static_cast<std::size_t>(address + i)] = f[8 + static_cast<std::size_t>(i)];
                if (!acknowledgesWrites) return {};
                return r;
            case 'P':
                ++passwordFrames;
                lastPasswordData.assign(f.begin() + 8, f.begin() + 12);
                if (f[8] != memory[244] || f[9] != memory[245]) {
                    r[3] = 0xE0;
                    return r;
                }
                memory[244] = f[10];
                memory[245] = f[11];
                return r;
            case 'K':
                ++resetFrames;
                memory.fill(0);
                return r;
            default:
                return {};
        }
    }
};

}  // namespace kv6::fleet::test
