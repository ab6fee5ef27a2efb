#include <gtest/gtest.h>

#include "engine_harness.h"
#include "link/protocol.h"

using namespace kv6::link;
using namespace kv6::link::test;

namespace {

// The module-does-not-answer box, as the user reads it.
const std::string kNoAnswer =
    " Модуль не отвечает.\n Проверьте соединение и настройки порта.\n Перегрузите модуль.";

void queueThreeJobs(EngineHarness& h) {
    for (int i = 0; i < 200; ++i) h.workspace.ConfigImage[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0xC0 + i % 7);
    ASSERT_TRUE(h.workspace.QueueWrite(0, 64));
    ASSERT_TRUE(h.workspace.QueueWrite(64, 64));
    ASSERT_TRUE(h.workspace.QueueWrite(760, 2));
    h.engine.startWrite();
}

std::string dashes(std::size_t n) { return std::string(" Запись данных ") + std::string(n, '-'); }

}  // namespace

TEST(SerialWrite, ThreeJobsOneAtATimeWithTheShrinkingBar) {
    EngineHarness h;
    queueThreeJobs(h);
    h.ticks(6);
    EXPECT_EQ(h.status.operation,
              (std::vector<std::string>{dashes(8), dashes(6), dashes(6), dashes(4), dashes(4), dashes(2),
                                        std::string(" Запись данных завершена")}));
    ASSERT_EQ(h.port.frames.size(), 3u);
    EXPECT_EQ(h.port.frames[2], SendWriteFrame(760, std::span(h.workspace.ConfigImage).subspan(760, 2), 2));
    EXPECT_TRUE(std::equal(h.memory.begin(), h.memory.begin() + 128, h.workspace.ConfigImage.begin()));
    EXPECT_TRUE(h.workspace.queue.empty());
    EXPECT_EQ(h.engine.state().WriteStep, 2);
    EXPECT_EQ(h.listener.writes, std::vector<bool>{true});
}

TEST(SerialWrite, FourthTimeOutDropsTheWholeQueueAndAFreshRunWorks) {
    EngineHarness h;
    h.answering = false;
    queueThreeJobs(h);
    h.ticks(119);
    ASSERT_EQ(h.port.frames.size(), 4u);  // ticks 1, 31, 61, 91: always the head job
    for (const auto& frame : h.port.frames) EXPECT_EQ(frame, h.port.frames[0]);
    EXPECT_EQ(h.workspace.queue.size(), 3u);
    EXPECT_EQ(h.engine.state().WriteRetries, 3);
    h.tick();
    EXPECT_TRUE(h.workspace.queue.empty());
    EXPECT_EQ(h.engine.state().WriteRetries, 0);
    EXPECT_EQ(h.status.last(), " Ошибка записи данных");
    ASSERT_EQ(h.prompts.shown.size(), 1u);
    EXPECT_EQ(h.prompts.shown[0].text, kNoAnswer);
    EXPECT_EQ(h.prompts.shown[0].caption, " Ошибка записи данных");
    EXPECT_EQ(h.prompts.shown[0].icon, kv6::MessageIcon::Exclamation);
    EXPECT_EQ(h.listener.writes, std::vector<bool>{false});

    h.answering = true;
    h.answered = h.port.frames.size();
    ASSERT_TRUE(h.workspace.QueueWrite(760, 2));
    h.engine.startWrite();
    h.ticks(2);
    EXPECT_EQ(h.status.last(), " Запись данных завершена");
    EXPECT_EQ(h.listener.writes, (std::vector<bool>{false, true}));
}

TEST(SerialWrite, AcknowledgementInTheExpiringTickIsOvertaken) {
    EngineHarness h;
    h.answering = false;
    ASSERT_TRUE(h.workspace.QueueWrite(10, 4));
    h.engine.startWrite();
    h.ticks(29);
    h.engine.Timer1Timer(bytes("~W="));
    h.engine.Timer2Timer();
    EXPECT_EQ(h.engine.state().WriteRetries, 1);
    EXPECT_EQ(h.engine.state().WriteStep, 0);
    EXPECT_EQ(h.workspace.queue.size(), 1u);
    h.engine.Timer2Timer();
    EXPECT_EQ(h.port.frames.size(), 2u);
}

TEST(RemoteWrite, FiveAttemptsSixtyTicksApartThenTheAcknowledgement) {
    EngineHarness h;
    FakeRemote remote;
    h.engine.setRemotePath(&remote);
    ASSERT_TRUE(h.workspace.QueueWrite(1161, 1));
    h.engine.startWrite();
    std::vector<int> sentAt;
    for (int tick = 1; tick <= 269; ++tick) {
        const std::size_t before = remote.sent.size();
        h.engine.Timer2Timer();
        if (remote.sent.size() != before) sentAt.push_back(tick);
    }
    EXPECT_EQ(sentAt, (std::vector<int>{1, 31, 91, 151, 211}));
    EXPECT_TRUE(h.port.frames.empty());
    EXPECT_EQ(remote.sent.front(), 1161);
    h.engine.Timer2Timer();
    EXPECT_TRUE(h.workspace.queue.empty());
    EXPECT_EQ(h.status.last(), " Ошибка записи данных");

    ASSERT_TRUE(h.workspace.QueueWrite(1161, 1));
    h.engine.startWrite();
    h.engine.Timer2Timer();
    h.engine.remoteWriteAcknowledged();
    h.engine.Timer2Timer();
    EXPECT_EQ(h.status.last(), " Запись данных завершена");
    EXPECT_EQ(h.engine.state().WriteCountdown, 30);  // not 30 x m after an acknowledgement
}

TEST(SerialWrite, ReadAndWriteRunInParallel) {
    EngineHarness h;
    ASSERT_TRUE(h.workspace.QueueWrite(760, 2));
    h.workspace.ConfigImage[760] = 0x42;
    h.engine.startWrite();
    h.startRead(1234);
    h.engine.Timer2Timer();  // write frame and read request in one tick
    ASSERT_EQ(h.port.frames.size(), 2u);
    h.engine.Timer1Timer(h.answer(h.port.frames[0]));  // the acknowledgement alone
    h.engine.Timer1Timer(h.answer(h.port.frames[1]));  // block 0
    h.answered = 2;
    h.ticks(9);
    EXPECT_EQ(h.listener.writes, std::vector<bool>{true});
    EXPECT_EQ(h.listener.completed, 1);
    EXPECT_EQ(h.workspace.ReceivedImage[760], 0x42);
}
