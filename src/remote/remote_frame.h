#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kv6::remote {

// One frame from the tool to the module: always 129 bytes.
//   0 '~' | 1-2 object number, packed | 3 command | 4-5 address, high first |
//   6 length | 7 check byte | 8..127 data, zero-filled | 128 ';'
class RemoteFrame {
public:
    static constexpr std::size_t kSize = 129;
    static constexpr std::size_t kDataOffset = 8;
    static constexpr std::size_t kMaxWriteBytes = 120;
    static constexpr std::uint8_t kReadLength = 128;
    static constexpr std::uint8_t kStart = '~';
    static constexpr std::uint8_t kEnd = ';';
    static constexpr std::uint8_t kRead = 'R';
    static constexpr std::uint8_t kWrite = 'W';
    static constexpr std::uint8_t kPassword = 'P';
    static constexpr std::uint8_t kReset = 'K';
    static constexpr std::uint8_t kPasswordRefused = 0xE0;  // reply only

    using Bytes = std::array<std::uint8_t, kSize>;

    // Two characters of the object number in one byte; BCD for decimal digits.
    [[nodiscard]] static std::uint8_t packPair(char c1, char c2);
    // Bytes 1 and 2: "1234" gives 0x12 0x34; missing characters count as 0.
    [[nodiscard]] static std::array<std::uint8_t, 2> packObjectNumber(std::string_view objectNumber);

    [[nodiscard]] static RemoteFrame read(std::string_view objectNumber, std::uint16_t address);
    // Empty when the job does not fit the frame (more than 120 bytes).
    [[nodiscard]] static std::optional<RemoteFrame> write(std::string_view objectNumber, std::uint16_t address,
                                                          std::span<const std::uint8_t> bytes);
    [[nodiscard]] static RemoteFrame password(std::string_view objectNumber, std::uint16_t current,
                                              std::uint16_t next);
    [[nodiscard]] static RemoteFrame reset(std::string_view objectNumber);
    // Everything zero but the start and end marks.
    [[nodiscard]] static RemoteFrame keepAlive();

    [[nodiscard]] const Bytes& bytes() const { return m_bytes; }
    [[nodiscard]] std::uint8_t command() const { return m_bytes[3]; }
    [[nodiscard]] std::uint16_t address() const {
        return static_cast<std::uint16_t>(m_bytes[4] << 8 | m_bytes[5]);
    }
    [[nodiscard]] std::uint8_t checkByte() const { return m_bytes[7]; }

private:
    RemoteFrame(std::string_view objectNumber, std::uint8_t command);
    // Puts the data from byte 8 on and their XOR into the check byte 7.
    void setData(std::span<const std::uint8_t> data);

    Bytes m_bytes{};
};

}  // namespace kv6::remote
