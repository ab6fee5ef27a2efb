#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace kv6::link {

// Command words of the serial protocol: eight ASCII characters each.
inline constexpr std::string_view kReadWord = "IP~BLRD=";
inline constexpr std::string_view kWriteWord = "IP~BLWR=";
inline constexpr std::string_view kPasswordWord = "IP~PSSW=";
inline constexpr std::string_view kResetWord = "IP~KILL=";
// The version query is part of the module's vocabulary; no operation sends it.
inline constexpr std::string_view kVersionWord = "IP~SWVR?";

inline constexpr std::uint8_t kCarriageReturn = 0x0D;
inline constexpr std::uint8_t kSeparator = ',';
inline constexpr std::uint8_t kReplyEnd = ';';

// Acknowledgement texts looked for in a receiver chunk.
inline constexpr std::string_view kPasswordAck = "PSSW";
inline constexpr std::string_view kResetAck = "KILL";
inline constexpr std::string_view kWriteAck = "~W=";

using Frame = std::vector<std::uint8_t>;

// Frame builders; addresses and passwords go high byte first, every frame ends
// with one carriage return and carries no checksum.
[[nodiscard]] Frame SendReadRequest(std::uint16_t address, std::uint8_t count);
// `length` is capped to the bytes actually given, so the count byte always
// matches the data that follow.
[[nodiscard]] Frame SendWriteFrame(std::uint16_t address, std::span<const std::uint8_t> bytes,
                                   std::uint8_t length);
[[nodiscard]] Frame SendPasswordFrame(std::uint16_t current, std::uint16_t next);
[[nodiscard]] Frame SendResetFrame();

// What the acknowledgement tests found in one chunk (several may match).
struct Acknowledgements {
    bool password = false;
    bool reset = false;
    bool write = false;
    friend bool operator==(const Acknowledgements&, const Acknowledgements&) = default;
};

[[nodiscard]] Acknowledgements FindAcknowledgements(std::span<const std::uint8_t> chunk);
// The same tests over `carried` (the last bytes of the previous chunk) joined
// to `chunk`, counting only texts that end inside `chunk`: a text cut by a
// chunk boundary is found once, a text already found is not found again.
[[nodiscard]] Acknowledgements FindAcknowledgements(std::span<const std::uint8_t> carried,
                                                    std::span<const std::uint8_t> chunk);
// How many bytes of a chunk to carry into the next one for that search.
inline constexpr std::size_t kAckCarry = 3;

// The outcome of one receiver chunk.
struct ChunkScan {
    bool replyEnded = false;      // ';' then CR in this chunk ended the pending read reply
    std::size_t dataBytes = 0;    // bytes handed to the data callback
    std::size_t consumed = 0;     // bytes of the chunk scanned: up to the reply's CR, else all
    Acknowledgements acks;        // only tested when no reply ended
};

// The read-reply grammar over one chunk. While `blockPending`, the bytes after
// the first ',' are data (passed to `onData` in order, a later ',' included);
// a CR whose predecessor in the same chunk is ';' ends the reply: `blockPending`
// and `inData` drop and the rest of the chunk is ignored. A chunk that ends no
// reply is tested for acknowledgements as a whole.
ChunkScan ScanChunk(std::span<const std::uint8_t> chunk, bool& blockPending, bool& inData,
                    const std::function<void(std::uint8_t)>& onData);

// What a receiver knows beyond the chunk itself.
struct ReplyContext {
    std::size_t dataSoFar = 0;  // data bytes of the pending reply taken so far
    // Data counts of the requests a reply may answer: ';' CR ends the reply
    // only right after one of them, so data that themselves hold ';' CR (a
    // text with a line break) are stored, not taken for the end of the reply.
    // Counts that differ by one can never be confused: where one reply ends
    // (';' then CR), the other would need ';' in the place of that CR.
    std::span<const std::size_t> expected;
    // A receiver that reads the line as a stream (its chunks are cut wherever
    // the driver happened to report bytes) gives the byte that preceded the
    // chunk in the pending reply (0: none) and the tail of the previous chunk:
    // a ';' ending one chunk and a CR starting the next then end the reply,
    // and an acknowledgement cut in two is still seen.
    std::uint8_t previous = 0;
    std::span<const std::uint8_t> ackCarry;
};

// ScanChunk with the request's count and, for a stream, the previous chunk.
ChunkScan ScanReply(std::span<const std::uint8_t> chunk, bool& blockPending, bool& inData,
                    const std::function<void(std::uint8_t)>& onData, const ReplyContext& context);

}  // namespace kv6::link
