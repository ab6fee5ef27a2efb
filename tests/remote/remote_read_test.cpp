#include "session_fixture.h"

using namespace kv6;
using namespace kv6::remote;
using namespace kv6::remote::test;

namespace {

// A module's memory: a pattern with the read password 0x3039 (12345) at 244..245.
image::Image moduleMemory(std::uint16_t password) {
    image::Image memory{};
    for (std::size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<std::uint8_t>(i * 7 + 3);
    memory[244] = static_cast<std::uint8_t>(password >> 8);
    memory[245] = static_cast<std::uint8_t>(password & 0xFF);
    return memory;
}

std::vector<std::uint8_t> replyFrom(const image::Image& memory, std::uint16_t address) {
    auto reply = readReply(address, 0);
    std::copy_n(memory.begin() + address, 128, reply.begin() + 8);
    return reply;
}

class RemoteReadTest : public SessionTest {
protected:
    // Answers every new 'R' request from the memory; returns the addresses asked.
    std::vector<int> runRead(const image::Image& memory, int maxTicks) {
        std::vector<int> asked;
        std::size_t seen = sink.sent.size();
        for (int t = 0; t < maxTicks && session.readActive(); ++t) {
            ticks(1);
            for (; seen < sink.sent.size(); ++seen) {
                const auto& f = sink.sent[seen].bytes;
                if (f.size() != 129 || f[3] != 'R') continue;
                const auto address = static_cast<std::uint16_t>(f[4] << 8 | f[5]);
                asked.push_back(address);
                feed(replyFrom(memory, address));
            }
        }
        return asked;
    }
};

}  // namespace

TEST_F(RemoteReadTest, ReadsFifteenBlocksAndCompletes) {
    connect();
    ws.ReceivedImage.fill(0xEE);
    ws.flags.set(3);
    const auto memory = moduleMemory(12345);
    session.startRead(12345);
    const auto asked = runRead(memory, 100);

    std::vector<int> expected;
    for (int a = 0; a < 1920; a += 128) expected.push_back(a);
    EXPECT_EQ(asked, expected);
    EXPECT_FALSE(session.readActive());
    EXPECT_EQ(listener.completed, 1);
    EXPECT_EQ(status[StatusPanel::Operation], " Чтение данных завершено");
    EXPECT_TRUE(std::equal(memory.begin(), memory.begin() + 1920, ws.ReceivedImage.begin()));
    EXPECT_EQ(ws.ReceivedImage[1920], 0xEE);  // past the read, the old content stays
    EXPECT_TRUE(traced("SendREAD 1792"));
    const auto& h = status.history;
    EXPECT_NE(std::find(h.begin(), h.end(), " Чтение данных **"), h.end());
}

TEST_F(RemoteReadTest, PasswordMismatchStopsBeforeAddress256) {
    connect();
    ws.flags.set(5);
    const auto memory = moduleMemory(1111);
    session.startRead(2222);
    const auto asked = runRead(memory, 10);
    EXPECT_EQ(asked, (std::vector<int>{0, 128}));
    EXPECT_FALSE(session.readActive());
    EXPECT_EQ(listener.mismatches, 1);
    EXPECT_EQ(listener.completed, 0);
    EXPECT_EQ(status[StatusPanel::Operation], "!!! ОШИБКА чтение данных - Пароль не совпал");
    for (int i = 0; i < 250; ++i) ASSERT_EQ(ws.ReceivedImage[i], 0xFF) << i;
    EXPECT_EQ(ws.ReceivedImage[250], memory[250]);
    EXPECT_FALSE(ws.flags.isSet(5));
}

TEST_F(RemoteReadTest, UnansweredRequestIsRepeatedAfterFifteenTicks) {
    connect();
    session.startRead(0);
    ticks(1);
    ASSERT_EQ(framesOf('R').size(), 1u);
    ticks(14);
    EXPECT_EQ(framesOf('R').size(), 1u);
    ticks(1);
    ASSERT_EQ(framesOf('R').size(), 2u);
    EXPECT_EQ(framesOf('R')[1].bytes[5], 0);
    // No keep-alive while a read runs.
    EXPECT_TRUE(framesOf(0).empty());
}

TEST_F(RemoteReadTest, ReplyIsStoredAtItsOwnAddress) {
    connect();
    session.startRead(0);
    ticks(1);  // asks for 0
    feed(readReply(128, 1));
    for (int i = 0; i < 128; ++i) ASSERT_EQ(ws.ReceivedImage[128 + i], static_cast<std::uint8_t>(1 + i));
    EXPECT_EQ(ws.ReceivedImage[0], 0);
    // Not the block asked for: the read still waits for address 0.
    EXPECT_EQ(session.nextAddress(), 0);

    feed(readReply(0, 2));
    EXPECT_EQ(session.nextAddress(), 128);
    // A late duplicate of block 0 does not skip block 128.
    feed(readReply(0, 2));
    EXPECT_EQ(session.nextAddress(), 128);
}

TEST_F(RemoteReadTest, ReplyPastTheImageIsIgnored) {
    connect();
    const auto before = ws.ReceivedImage;
    feed(readReply(3969, 9));
    feed(readReply(0xFFFF, 9));
    EXPECT_EQ(ws.ReceivedImage, before);
    feed(readReply(3968, 9));
    EXPECT_EQ(ws.ReceivedImage[4095], static_cast<std::uint8_t>(9 + 127));
}

TEST_F(RemoteReadTest, ReassemblesSplitAndJoinedReplies) {
    connect();
    session.startRead(0);
    ticks(1);
    const auto first = readReply(0, 10);
    feed({first.begin(), first.begin() + 3});
    feed({first.begin() + 3, first.begin() + 90});
    EXPECT_EQ(ws.ReceivedImage[8], 0);
    feed({first.begin() + 90, first.end()});
    EXPECT_EQ(ws.ReceivedImage[0], 10);
    EXPECT_EQ(session.nextAddress(), 128);

    auto two = readReply(128, 20);
    const auto second = readReply(256, 30);
    two.insert(two.end(), second.begin(), second.end());
    feed(two);
    EXPECT_EQ(ws.ReceivedImage[128], 20);
    EXPECT_EQ(ws.ReceivedImage[256], 30);
    EXPECT_EQ(session.nextAddress(), 384);
    EXPECT_EQ(session.pendingBytes(1), 0u);
}

TEST_F(RemoteReadTest, ReadResumesAfterReconnection) {
    connect();
    const auto memory = moduleMemory(0);
    session.startRead(0);
    ticks(1);
    feed(replyFrom(memory, 0));
    session.onDisconnected(1);
    ticks(5);
    EXPECT_EQ(framesOf('R').size(), 1u);
    session.onConnected(2, 5001);
    ticks(1);
    ASSERT_EQ(framesOf('R').size(), 2u);
    EXPECT_EQ(framesOf('R')[1].connection, 2);
    EXPECT_EQ(framesOf('R')[1].bytes[5], 128);
}
