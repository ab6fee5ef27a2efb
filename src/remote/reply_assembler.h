#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kv6::remote {

// One framed reply from the module: '~', two object bytes, the command byte,
// the address (high first), then the rest of what the frame carried.
struct RemoteReply {
    std::uint8_t command = 0;
    std::uint16_t address = 0;
    std::vector<std::uint8_t> bytes;  // the whole frame, '~' included
};

// Cuts the TCP byte stream of one connection into replies. TCP keeps no
// message boundaries, so one receive event may hold part of a reply or
// several replies. The rules:
//  - a frame starts only where a receive event starts with '~' or where the
//    previous complete frame ended; anything else (a text such as
//    "OK text ~12W...", or what follows a frame without a '~') is no frame and
//    is dropped here (the session still reads it for identification);
//  - a frame's header is its first 4 bytes; a header cut by the end of the
//    received data waits for the next receive event;
//  - an 'R' reply is exactly 136 bytes and waits until all of them are in;
//    what follows belongs to the next reply;
//  - any other reply ('W', 'P', 'K', 0xE0, ...) runs from its '~' to the next
//    '~' after its eight fixed bytes (an address, length or check byte may be
//    0x7E), or to the end of the received data, and is cut at 136 bytes;
//  - a partial frame that gets no new bytes for kStaleTicks timer ticks is
//    dropped: the module sends each reply at once, so it is a lost fragment.
// After every call at most one partial frame (< 136 bytes) stays buffered.
class ReplyAssembler {
public:
    static constexpr std::size_t kHeaderSize = 4;
    // '~', object number, command, address, length, check: never a frame start.
    static constexpr std::size_t kFixedBytes = 8;
    static constexpr std::size_t kReadReplySize = 136;
    static constexpr std::size_t kMaxReplySize = 136;
    static constexpr int kStaleTicks = 2;

    [[nodiscard]] std::vector<RemoteReply> feed(std::span<const std::uint8_t> bytes);
    // One timer tick without new bytes.
    void tick();
    void clear();
    [[nodiscard]] std::size_t pendingSize() const { return m_buffer.size(); }

private:
    std::vector<std::uint8_t> m_buffer;
    int m_idleTicks = 0;
};

}  // namespace kv6::remote
