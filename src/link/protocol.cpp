#include "link/protocol.h"

#include <algorithm>

namespace kv6::link {

namespace {

void appendWord(Frame& frame, std::string_view word) { frame.insert(frame.end(), word.begin(), word.end()); }

void appendWord16(Frame& frame, std::uint16_t value) {
    frame.push_back(static_cast<std::uint8_t>(value >> 8));
    frame.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

bool contains(std::span<const std::uint8_t> chunk, std::string_view text) {
    return std::search(chunk.begin(), chunk.end(), text.begin(), text.end(),
                       [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }) != chunk.end();
}

}  // namespace

Frame SendReadRequest(std::uint16_t address, std::uint8_t count) {
    Frame frame;
    frame.reserve(13);
    appendWord(frame, kReadWord);
    appendWord16(frame, address);
    frame.push_back(kSeparator);
    frame.push_back(count);
    frame.push_back(kCarriageReturn);
    return frame;
}

Frame SendWriteFrame(std::uint16_t address, std::span<const std::uint8_t> bytes, std::uint8_t length) {
    const auto n = static_cast<std::uint8_t>(std::min<std::size_t>(length, bytes.size()));
    Frame frame;
    frame.reserve(13u + n);
    appendWord(frame, kWriteWord);
    appendWord16(frame, address);
    frame.push_back(kSeparator);
    frame.push_back(n);
    frame.push_back(kSeparator);
    frame.insert(frame.end(), bytes.begin(), bytes.begin() + n);
    frame.push_back(kCarriageReturn);
    return frame;
}

Frame SendPasswordFrame(std::uint16_t current, std::uint16_t next) {
    Frame frame;
    frame.reserve(13);
    appendWord(frame, kPasswordWord);
    appendWord16(frame, current);
    appendWord16(frame, next);
    frame.push_back(kCarriageReturn);
    return frame;
}

Frame SendResetFrame() {
    Frame frame;
    appendWord(frame, kResetWord);
    frame.push_back(kCarriageReturn);
    return frame;
}

Acknowledgements FindAcknowledgements(std::span<const std::uint8_t> chunk) {
    return {contains(chunk, kPasswordAck), contains(chunk, kResetAck), contains(chunk, kWriteAck)};
}

ChunkScan ScanChunk(std::span<const std::uint8_t> chunk, bool& blockPending, bool& inData,
                    const std::function<void(std::uint8_t)>& onData) {
    ChunkScan scan;
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        if (!blockPending) continue;
        const std::uint8_t byte = chunk[i];
        if (byte == kCarriageReturn && i > 0 && chunk[i - 1] == kReplyEnd) {
            blockPending = false;
            inData = false;
            scan.replyEnded = true;
            return scan;
        }
        if (inData) {
            if (onData) onData(byte);
            ++scan.dataBytes;
        }
        if (byte == kSeparator) inData = true;
    }
    scan.acks = FindAcknowledgements(chunk);
    return scan;
}

}  // namespace kv6::link
