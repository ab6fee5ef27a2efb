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

// Whether `text` occurs in `joined` ending after its first `skip` bytes.
bool containsEndingAfter(std::span<const std::uint8_t> joined, std::string_view text, std::size_t skip) {
    const std::size_t start = skip >= text.size() ? skip - text.size() + 1 : 0;
    return start < joined.size() && contains(joined.subspan(start), text);
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

Acknowledgements FindAcknowledgements(std::span<const std::uint8_t> carried, std::span<const std::uint8_t> chunk) {
    if (carried.empty()) return FindAcknowledgements(chunk);
    std::vector<std::uint8_t> joined(carried.begin(), carried.end());
    joined.insert(joined.end(), chunk.begin(), chunk.end());
    const std::size_t skip = carried.size();
    return {containsEndingAfter(joined, kPasswordAck, skip), containsEndingAfter(joined, kResetAck, skip),
            containsEndingAfter(joined, kWriteAck, skip)};
}

namespace {

ChunkScan scan(std::span<const std::uint8_t> chunk, bool& blockPending, bool& inData,
               const std::function<void(std::uint8_t)>& onData, const ReplyContext* stream) {
    ChunkScan result;
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        if (!blockPending) continue;
        const std::uint8_t byte = chunk[i];
        const std::uint8_t before = i > 0 ? chunk[i - 1] : (stream ? stream->previous : std::uint8_t{0});
        // The ';' is the byte after the data asked for.
        const std::size_t taken = stream ? stream->dataSoFar + result.dataBytes : 0;
        const bool counted = !stream || (taken >= 1 && std::find(stream->expected.begin(), stream->expected.end(), taken - 1) !=
                                                               stream->expected.end());
        if (byte == kCarriageReturn && before == kReplyEnd && counted) {
            blockPending = false;
            inData = false;
            result.replyEnded = true;
            result.consumed = i + 1;
            return result;
        }
        if (inData) {
            if (onData) onData(byte);
            ++result.dataBytes;
        }
        if (byte == kSeparator) inData = true;
    }
    result.consumed = chunk.size();
    result.acks = stream ? FindAcknowledgements(stream->ackCarry, chunk) : FindAcknowledgements(chunk);
    return result;
}

}  // namespace

ChunkScan ScanChunk(std::span<const std::uint8_t> chunk, bool& blockPending, bool& inData,
                    const std::function<void(std::uint8_t)>& onData) {
    return scan(chunk, blockPending, inData, onData, nullptr);
}

ChunkScan ScanReply(std::span<const std::uint8_t> chunk, bool& blockPending, bool& inData,
                    const std::function<void(std::uint8_t)>& onData, const ReplyContext& context) {
    return scan(chunk, blockPending, inData, onData, &context);
}

}  // namespace kv6::link
