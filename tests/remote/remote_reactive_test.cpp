#include "session_fixture.h"

using namespace kv6;
using namespace kv6::remote;
using namespace kv6::remote::test;

namespace {

using RemoteReactiveTest = SessionTest;

}  // namespace

// With the reactive pacing each 'R' reply lets the next request go out at
// once; a lost reply still waits the fifteen Timer4 ticks.
TEST_F(RemoteReactiveTest, NextBlockAsSoonAsTheReplyIsInAndLostRepliesStillWaitTicks) {
    connect();
    session.reactNow();  // no read: nothing to send
    EXPECT_TRUE(framesOf('R').empty());
    session.startRead(0xFFFF);
    session.reactNow();
    ASSERT_EQ(framesOf('R').size(), 1u);
    session.reactNow();  // the request is outstanding: not sent twice
    ASSERT_EQ(framesOf('R').size(), 1u);

    ws.ReceivedImage[244] = ws.ReceivedImage[245] = 0xFF;
    for (std::uint16_t address = 0; address < 1920; address += 128) {
        auto reply = readReply(address, static_cast<std::uint8_t>(address / 128));
        if (address == 128) reply[8 + 116] = reply[8 + 117] = 0xFF;  // bytes 244..245: the password
        feed(reply);
        session.reactNow();
    }
    EXPECT_EQ(framesOf('R').size(), 15u);
    EXPECT_EQ(listener.completed, 1);

    session.startRead(0xFFFF);
    session.reactNow();
    ticks(14);
    session.reactNow();
    EXPECT_EQ(framesOf('R').size(), 16u);
    ticks(1);
    EXPECT_EQ(framesOf('R').size(), 17u);
}
