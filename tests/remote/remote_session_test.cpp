#include "session_fixture.h"

using namespace kv6;
using namespace kv6::remote;
using namespace kv6::remote::test;

namespace {
const std::string kWaiting = "Удалённый доступ -Ожидание-";
const std::string kConnected = "Удалённый доступ -Соединено-";
const std::string kDisconnected = "Удалённый доступ. Разъеденён";
const std::string kNotConnected = " Нет соединения с модулем";
}  // namespace

TEST_F(SessionTest, ConnectSendsTheGreetingAndBlinkStops) {
    session.N18Click();
    EXPECT_TRUE(session.listening());
    ticks(1);
    EXPECT_EQ(status[StatusPanel::Remote], kWaiting);
    ticks(1);
    EXPECT_EQ(status[StatusPanel::Remote], "");
    ticks(1);
    EXPECT_EQ(status[StatusPanel::Remote], kWaiting);

    session.onConnected(1, 5000);
    ASSERT_EQ(sink.sent.size(), 1u);
    const auto& greeting = sink.sent[0].bytes;
    ASSERT_EQ(greeting.size(), 24u);
    EXPECT_EQ(std::vector<std::uint8_t>(greeting.begin() + 20, greeting.end()),
              (std::vector<std::uint8_t>{0xD0, 0x97, 0x17, 0xBC}));
    EXPECT_TRUE(traced("Connect^ 5000"));
    EXPECT_EQ(status[StatusPanel::Remote], kConnected);
    ticks(3);
    EXPECT_EQ(status[StatusPanel::Remote], kConnected);

    // After the module leaves, the disconnected text stays put.
    session.onDisconnected(1);
    EXPECT_EQ(status[StatusPanel::Remote], kDisconnected);
    ticks(3);
    EXPECT_EQ(status[StatusPanel::Remote], kDisconnected);

    session.N19Click();
    EXPECT_FALSE(session.listening());
    EXPECT_EQ(status[StatusPanel::Remote], kDisconnected);
}

TEST_F(SessionTest, NothingIsSentWhileNoModuleIsConnected) {
    session.startRead(0);
    ticks(100);  // not listening
    session.N18Click();
    ticks(100);  // listening, nobody there
    EXPECT_TRUE(sink.sent.empty());

    EXPECT_FALSE(session.sendPassword(1, 2));
    EXPECT_EQ(status[StatusPanel::Operation], kNotConnected);
    status.panels.clear();
    EXPECT_FALSE(session.sendReset());
    EXPECT_EQ(status[StatusPanel::Operation], kNotConnected);
    status.panels.clear();
    const std::vector<std::uint8_t> job{1, 2, 3};
    session.sendWriteJob(100, job);
    EXPECT_EQ(status[StatusPanel::Operation], kNotConnected);
    EXPECT_TRUE(sink.sent.empty());
}

TEST_F(SessionTest, KeepAliveAfterThirtyOneIdleTicks) {
    connect();
    sink.sent.clear();
    ticks(30);
    EXPECT_TRUE(sink.sent.empty());
    ticks(1);
    ASSERT_EQ(sink.sent.size(), 1u);
    const auto keepAlive = RemoteFrame::keepAlive();
    EXPECT_EQ(sink.sent[0].bytes, (std::vector<std::uint8_t>(keepAlive.bytes().begin(), keepAlive.bytes().end())));
    EXPECT_TRUE(traced("Send "));

    // Any frame sent restarts the idle count.
    ticks(20);
    ASSERT_TRUE(session.sendReset());
    sink.sent.clear();
    ticks(30);
    EXPECT_TRUE(sink.sent.empty());
    ticks(1);
    EXPECT_EQ(sink.sent.size(), 1u);

    // The greeting of a reconnecting module is no frame: the count goes on.
    ticks(20);
    session.onDisconnected(1);
    session.onConnected(2, 5001);
    sink.sent.clear();
    ticks(11);
    ASSERT_EQ(sink.sent.size(), 1u);
    EXPECT_EQ(sink.sent[0].bytes[3], 0);
}

TEST_F(SessionTest, IdentificationTextsSetTheObjectNumber) {
    connect();
    feed(bytesOf("+CSQ: SR module  4321 ready"));  // '4' is the 18th character
    EXPECT_EQ(session.objectNumber(), "4321");
    EXPECT_EQ(status[StatusPanel::Remote], "Удалённый доступ. Объект 4321");
    EXPECT_TRUE(traced("ObjGet^ 4321"));

    // A zero byte before "SR" hides it.
    std::vector<std::uint8_t> hidden = bytesOf("abc");
    hidden.push_back(0);
    const auto tail = bytesOf("SR xxxxxxxxxxxxxxx9999");
    hidden.insert(hidden.end(), tail.begin(), tail.end());
    feed(hidden);
    EXPECT_EQ(session.objectNumber(), "4321");

    // Framed data are searched too, up to their first zero byte.
    feed(bytesOf("~12WSRxxxxxxxxxxx7777"));
    EXPECT_EQ(session.objectNumber(), "7777");

    feed(bytesOf("ADM#AB1234#rest"));
    EXPECT_EQ(session.objectNumber(), "1234");
    EXPECT_EQ(status[StatusPanel::Remote], "Удалённый доступ. Объект 1234");

    ASSERT_TRUE(session.sendReset());
    const auto& reset = sink.sent.back().bytes;
    EXPECT_EQ(reset[1], 0x12);
    EXPECT_EQ(reset[2], 0x34);
    EXPECT_TRUE(traced("SendPSW "));
    EXPECT_TRUE(traced("SendCrc 00"));
}

TEST_F(SessionTest, ServiceRepliesAndWriteFrames) {
    connect();
    feed(shortReply('W'));
    EXPECT_EQ(listener.writeAcks, 1);
    feed(shortReply('P'));
    EXPECT_EQ(status[StatusPanel::Operation], " Пароль на чтение изменён");
    feed(shortReply(0xE0));
    EXPECT_EQ(status[StatusPanel::Operation], " !!!ОШИБКА изменения пароля");
    feed(shortReply('K'));
    EXPECT_EQ(status[StatusPanel::Operation], " Настройки модуля приведены к заводским");
    EXPECT_EQ(listener.passwordChanged, 1);
    EXPECT_EQ(listener.passwordRefused, 1);
    EXPECT_EQ(listener.resets, 1);

    const std::vector<std::uint8_t> job{0x01, 0x02, 0x04};
    session.sendWriteJob(1049, job);
    ASSERT_EQ(framesOf('W').size(), 1u);
    EXPECT_TRUE(traced("SendWr 1049"));
    EXPECT_TRUE(traced("SendCrc 07"));

    ASSERT_TRUE(session.sendPassword(0x0102, 0x0304));
    EXPECT_TRUE(traced("SendCrc 04"));

    session.sendWriteJob(0, std::vector<std::uint8_t>(121, 0));
    EXPECT_EQ(framesOf('W').size(), 1u);  // refused, nothing sent
}

TEST_F(SessionTest, SecondModuleGetsTheGreetingOnlyUntilItTakesOverUnderItsOwnNumber) {
    connect(1);
    feed(bytesOf("ADM#xx1111#"), 1);
    session.onConnected(2, 6000);
    ASSERT_EQ(sink.sent.size(), 2u);
    EXPECT_EQ(sink.sent[1].connection, 2);
    EXPECT_EQ(sink.sent[1].bytes.size(), 24u);

    // Its texts and replies change nothing while the first one is there.
    feed(bytesOf("ADM#xx2222#"), 2);
    feed(readReply(0, 5), 2);
    feed(shortReply('W'), 2);
    EXPECT_EQ(session.objectNumber(), "1111");
    EXPECT_EQ(status[StatusPanel::Remote], "Удалённый доступ. Объект 1111");
    EXPECT_EQ(ws.ReceivedImage[0], 0);
    EXPECT_EQ(listener.writeAcks, 0);
    session.onConnected(3, 7000);
    session.onDisconnected(3);
    EXPECT_EQ(status[StatusPanel::Remote], "Удалённый доступ. Объект 1111");

    auto resetGoesTo = [this](int connection, std::uint8_t objectHigh, std::uint8_t objectLow) {
        ASSERT_TRUE(session.sendReset());
        const SentFrame& frame = sink.sent.back();
        EXPECT_EQ(frame.connection, connection);
        EXPECT_EQ(frame.bytes[1], objectHigh);
        EXPECT_EQ(frame.bytes[2], objectLow);
    };
    resetGoesTo(1, 0x11, 0x11);

    // When the first one leaves, the next oldest takes the commands under its own number.
    session.onConnected(4, 8000);
    session.onDisconnected(1);
    EXPECT_EQ(status[StatusPanel::Remote], "Удалённый доступ. Объект 2222");
    resetGoesTo(2, 0x22, 0x22);

    // One that never identified itself has no number yet.
    session.onDisconnected(2);
    EXPECT_TRUE(session.connected());
    EXPECT_EQ(status[StatusPanel::Remote], kConnected);
    resetGoesTo(4, 0x00, 0x00);
}
