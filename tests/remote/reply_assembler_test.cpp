#include <gtest/gtest.h>

#include "remote/reply_assembler.h"
#include "remote_test_support.h"

using namespace kv6::remote;
using namespace kv6::remote::test;

namespace {
std::span<const std::uint8_t> slice(const std::vector<std::uint8_t>& v, std::size_t from, std::size_t to) {
    return std::span<const std::uint8_t>(v).subspan(from, to - from);
}
}  // namespace

TEST(ReplyAssembler, ReadReplySplitInThreePieces) {
    ReplyAssembler assembler;
    const auto reply = readReply(384, 7);
    EXPECT_TRUE(assembler.feed(slice(reply, 0, 2)).empty());  // header cut short
    EXPECT_TRUE(assembler.feed(slice(reply, 2, 70)).empty());
    const auto out = assembler.feed(slice(reply, 70, 136));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].command, 'R');
    EXPECT_EQ(out[0].address, 384);
    EXPECT_EQ(out[0].bytes, reply);
    EXPECT_EQ(assembler.pendingSize(), 0u);
}

TEST(ReplyAssembler, SeveralRepliesInOneEvent) {
    ReplyAssembler assembler;
    std::vector<std::uint8_t> event;
    const auto first = readReply(0, 1);
    const auto second = readReply(128, 2);
    const auto ack = shortReply('W');
    event.insert(event.end(), first.begin(), first.end());
    event.insert(event.end(), ack.begin(), ack.end());
    event.insert(event.end(), second.begin(), second.begin() + 100);  // the rest comes later

    const auto out = assembler.feed(event);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].bytes, first);
    EXPECT_EQ(out[1].command, 'W');
    EXPECT_EQ(out[1].bytes, ack);
    EXPECT_EQ(assembler.pendingSize(), 100u);

    const auto rest = assembler.feed(slice(second, 100, 136));
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].bytes, second);
}

TEST(ReplyAssembler, ShortRepliesEndAtTheNextStartMark) {
    ReplyAssembler assembler;
    std::vector<std::uint8_t> event = shortReply('P');
    const auto kill = shortReply('K');
    event.insert(event.end(), kill.begin(), kill.end());
    event.push_back('~');  // a lone start mark waits for its header
    const auto out = assembler.feed(event);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].command, 'P');
    EXPECT_EQ(out[0].bytes.size(), 8u);
    EXPECT_EQ(out[1].command, 'K');
    EXPECT_EQ(out[1].bytes.size(), 8u);
    EXPECT_EQ(assembler.pendingSize(), 1u);

    // A reply of its header alone, at the end of the data, is still a reply.
    ReplyAssembler bare;
    const std::vector<std::uint8_t> header{'~', 0, 0, 'K'};
    ASSERT_EQ(bare.feed(header).size(), 1u);
    EXPECT_EQ(bare.pendingSize(), 0u);

    // A long non-'R' frame is cut at 136 bytes; its tail is no frame.
    ReplyAssembler other;
    std::vector<std::uint8_t> longFrame(500, 'x');
    longFrame[0] = '~';
    longFrame[3] = 'W';
    const auto cut = other.feed(longFrame);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].bytes.size(), 136u);
    EXPECT_EQ(other.pendingSize(), 0u);
}

// The module echoes address, length and check byte; any of them may be 0x7E.
// Taken for a start mark, the rest of the reply would be left behind and
// swallow the next acknowledgement.
TEST(ReplyAssembler, TildeInAnAcknowledgementsFixedBytesStartsNoFrame) {
    ReplyAssembler assembler;
    std::vector<std::uint8_t> first{'~', 0x12, 0x52, 'W', 0x04, 0x7E, 2, 0x7E};  // address 1150, check 0x7E
    const auto firstOut = assembler.feed(first);
    ASSERT_EQ(firstOut.size(), 1u);
    EXPECT_EQ(firstOut[0].bytes, first);
    EXPECT_EQ(firstOut[0].address, 1150);
    EXPECT_EQ(assembler.pendingSize(), 0u);

    const std::vector<std::uint8_t> second{'~', 0x12, 0x52, 'W', 0x04, 0x80, 2, 0x01};
    const auto secondOut = assembler.feed(second);
    ASSERT_EQ(secondOut.size(), 1u);
    EXPECT_EQ(secondOut[0].command, 'W');

    // Both in one event: still two replies.
    std::vector<std::uint8_t> joined = first;
    joined.insert(joined.end(), second.begin(), second.end());
    const auto both = assembler.feed(joined);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1].bytes, second);
}

TEST(ReplyAssembler, StaleFragmentIsDroppedAfterTwoTicks) {
    ReplyAssembler assembler;
    const auto lost = readReply(0, 9);
    EXPECT_TRUE(assembler.feed(slice(lost, 0, 50)).empty());
    assembler.tick();
    EXPECT_EQ(assembler.pendingSize(), 50u);
    assembler.tick();
    EXPECT_EQ(assembler.pendingSize(), 0u);

    // The next reply is then read on its own.
    const auto next = readReply(128, 3);
    const auto out = assembler.feed(next);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].address, 128);
}

// A frame starts only at the start of a receive event or where the previous
// frame ended: a '~' inside a module's text acknowledges nothing.
TEST(ReplyAssembler, TildeInsideTextStartsNoFrame) {
    ReplyAssembler assembler;
    std::vector<std::uint8_t> text = bytesOf("OK text ");
    const auto ack = shortReply('W');
    text.insert(text.end(), ack.begin(), ack.end());
    EXPECT_TRUE(assembler.feed(text).empty());
    EXPECT_EQ(assembler.pendingSize(), 0u);

    // After a complete 'R' reply, text ends the frames of that event.
    std::vector<std::uint8_t> event = readReply(0, 1);
    const auto tail = bytesOf("SR text");
    event.insert(event.end(), tail.begin(), tail.end());
    event.insert(event.end(), ack.begin(), ack.end());
    const auto out = assembler.feed(event);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].command, 'R');
    EXPECT_EQ(assembler.pendingSize(), 0u);

    // The next event that starts with '~' is read as a frame again.
    ASSERT_EQ(assembler.feed(ack).size(), 1u);
}
