#include <gtest/gtest.h>

#include "link/protocol.h"
#include "link/read_password.h"
#include "link_fakes.h"

using namespace std::string_literals;

using namespace kv6::link;
using kv6::link::test::bytes;

using Bytes = std::vector<std::uint8_t>;

TEST(Frames, MatchTheWorkedExamplesByteForByte) {
    EXPECT_EQ(SendReadRequest(250, 250),
              (Bytes{0x49, 0x50, 0x7E, 0x42, 0x4C, 0x52, 0x44, 0x3D, 0x00, 0xFA, 0x2C, 0xFA, 0x0D}));
    const Bytes data{0x01, 0x02};
    EXPECT_EQ(SendWriteFrame(760, data, 2),
              (Bytes{0x49, 0x50, 0x7E, 0x42, 0x4C, 0x57, 0x52, 0x3D, 0x02, 0xF8, 0x2C, 0x02, 0x2C, 0x01, 0x02, 0x0D}));
    EXPECT_EQ(SendPasswordFrame(0x1234, 0xABCD),
              (Bytes{0x49, 0x50, 0x7E, 0x50, 0x53, 0x53, 0x57, 0x3D, 0x12, 0x34, 0xAB, 0xCD, 0x0D}));
    EXPECT_EQ(SendResetFrame(), (Bytes{0x49, 0x50, 0x7E, 0x4B, 0x49, 0x4C, 0x4C, 0x3D, 0x0D}));
    EXPECT_EQ(kVersionWord, "IP~SWVR?");
}

TEST(Frames, EdgeAddressesRawDataAndEmptyWrites) {
    const Bytes first = SendReadRequest(0, 10);
    ASSERT_EQ(first.size(), 13u);
    EXPECT_EQ(first[8], 0x00);
    EXPECT_EQ(first[9], 0x00);
    const Bytes last = SendReadRequest(4095, 1);
    EXPECT_EQ(last[8], 0x0F);
    EXPECT_EQ(last[9], 0xFF);

    EXPECT_EQ(SendWriteFrame(3, {}, 0), bytes("IP~BLWR=\x00\x03,\x00,\r"s));
    // Data pass unchanged, separators and CR included.
    const Bytes raw{',', ';', 0x0D, 0x00};
    EXPECT_EQ(SendWriteFrame(3, raw, 4), bytes("IP~BLWR=\x00\x03,\x04,,;\r\x00\r"s));
    // A length beyond the data given is capped, so the count byte stays true.
    EXPECT_EQ(SendWriteFrame(3, raw, 200).size(), 14u + 4u);
    EXPECT_EQ(SendWriteFrame(3, raw, 200)[11], 4);
}

namespace {

struct Scanner {
    bool pending = true;
    bool inData = false;
    Bytes data;
    ChunkScan feed(std::string_view text) {
        const Bytes chunk = bytes(text);
        return ScanChunk(chunk, pending, inData, [this](std::uint8_t b) { data.push_back(b); });
    }
};

}  // namespace

TEST(ChunkGrammar, AssemblesARepliesDataAcrossChunks) {
    Scanner s;
    EXPECT_FALSE(s.feed("BLRD 00").replyEnded);
    EXPECT_FALSE(s.feed("FA,ab,").replyEnded);  // the first ',' opens the data; a later one is data
    EXPECT_TRUE(s.feed("c;\rtail").replyEnded);
    EXPECT_EQ(s.data, bytes("ab,c;"));
    EXPECT_FALSE(s.pending);
    EXPECT_FALSE(s.inData);
}

TEST(ChunkGrammar, EndNeedsSemicolonAndCarriageReturnInOneChunk) {
    Scanner s;
    EXPECT_FALSE(s.feed(",xy;").replyEnded);
    EXPECT_FALSE(s.feed("\r").replyEnded);  // the CR has no ';' before it in its chunk: stored as data
    EXPECT_TRUE(s.pending);
    EXPECT_EQ(s.data, bytes("xy;\r"));
}

TEST(ChunkGrammar, AcknowledgementsOnlyInChunksThatEndNoReply) {
    Scanner ending;
    const ChunkScan ended = ending.feed("~W=PSSW,1;\rKILL");
    EXPECT_TRUE(ended.replyEnded);
    EXPECT_EQ(ended.acks, Acknowledgements{});

    Scanner idle;
    idle.pending = false;
    const ChunkScan both = idle.feed("OK ~W= PSSW");
    EXPECT_EQ(both.acks, (Acknowledgements{true, false, true}));
    EXPECT_EQ(both.dataBytes, 0u);
    EXPECT_TRUE(idle.data.empty());

    // A text split between chunks is not recognised.
    EXPECT_FALSE(idle.feed("~W").acks.write);
    EXPECT_FALSE(idle.feed("=").acks.write);
    EXPECT_TRUE(idle.feed("KILL").acks.reset);
}

TEST(ReadPassword, ConvertsTheDialogText) {
    EXPECT_EQ(ParseReadPassword(""), 0xFFFF);
    EXPECT_EQ(ParseReadPassword("00123"), 123);
    EXPECT_EQ(ParseReadPassword("65535"), 65535);
    EXPECT_EQ(ParseReadPassword("40000"), 40000);
    EXPECT_EQ(ParseReadPassword("65536"), 0);   // low 16 bits
    EXPECT_EQ(ParseReadPassword("70000"), 70000 - 65536);
    EXPECT_EQ(ParseReadPassword("-1"), 0xFFFF);
    EXPECT_EQ(ParseReadPassword("12a"), 0);
    EXPECT_EQ(ParseReadPassword("abc"), 0);
    EXPECT_EQ(ParseReadPassword("-"), 0);
    EXPECT_EQ(ParseReadPassword(" 12"), 0);
    EXPECT_EQ(ParseReadPassword("99999999999"), 0);  // beyond a 32-bit integer
    EXPECT_EQ(ParsePasswordNumber(""), 0);
}
