#include <gtest/gtest.h>

#include "engine_harness.h"
#include "link/engine_texts.h"
#include "link/protocol.h"

using namespace kv6::link;
using namespace kv6::link::test;

namespace {

// The reactive owner: every reply goes to the receiver in `pieces` chunks,
// then the engine reacts. No Timer2 tick is run.
void answerReactively(EngineHarness& h, std::size_t pieces = 1) {
    while (h.answered < h.port.frames.size()) {
        const auto reply = h.answer(h.port.frames[h.answered++]);
        const std::size_t step = std::max<std::size_t>(1, (reply.size() + pieces - 1) / pieces);
        for (std::size_t at = 0; at < reply.size(); at += step)
            h.engine.Timer1Timer(std::span(reply).subspan(at, std::min(step, reply.size() - at)));
        h.engine.react();
    }
}

struct ReactiveHarness : EngineHarness {
    ReactiveHarness() { engine.setPacing(Pacing::Reactive); }
};

}  // namespace

// The first request waits for one quiet tick (what still arrives from an
// earlier run is not a reply); every later one goes out without a tick.
TEST(ReactiveRead, EachBlockIsRequestedAsSoonAsTheLastEndedWithoutATick) {
    for (const std::size_t pieces : {std::size_t{1}, std::size_t{97}, std::size_t{258}}) {  // 258: byte by byte
        ReactiveHarness h;
        h.memory[300] = ';';  // data that hold ';' CR are data, not the end
        h.memory[301] = '\r';
        h.startRead(1234);
        h.engine.react();
        ASSERT_TRUE(h.port.frames.empty());
        h.engine.Timer1Timer(bytes("BLRD,\x01\x02;\r"));  // the rest of an earlier run's reply
        h.engine.Timer2Timer();
        ASSERT_TRUE(h.port.frames.empty());
        h.engine.Timer2Timer();
        ASSERT_EQ(h.port.frames.size(), 1u);
        answerReactively(h, pieces);
        EXPECT_EQ(h.listener.completed, 1) << pieces;
        ASSERT_EQ(h.port.frames.size(), 9u);  // eight blocks and the ninth request, as in the module's pacing
        for (std::size_t k = 0; k < 8; ++k)
            EXPECT_EQ(h.port.frames[k], SendReadRequest(static_cast<std::uint16_t>(k * 250), 250));
        EXPECT_EQ(h.port.frames[8], SendReadRequest(2000, 251));
        EXPECT_TRUE(std::equal(h.memory.begin(), h.memory.begin() + 2000, h.workspace.ReceivedImage.begin()))
            << pieces;
        EXPECT_EQ(h.engine.state().ReadTicks, 0);
        EXPECT_EQ(h.status.operation[7], " Чтение данных **************");
        EXPECT_EQ(h.status.last(), " Чтение данных завершено");
    }
}

TEST(ReactiveWrite, EachJobGoesOutAsSoonAsTheLastIsAcknowledged) {
    ReactiveHarness h;
    for (std::size_t i = 0; i < 200; ++i) h.workspace.ConfigImage[i] = static_cast<std::uint8_t>(i * 3);
    ASSERT_TRUE(h.workspace.QueueWrite(0, 64));
    ASSERT_TRUE(h.workspace.QueueWrite(64, 64));
    ASSERT_TRUE(h.workspace.QueueWrite(760, 2));
    h.engine.startWrite();
    h.engine.react();
    h.engine.react();  // nothing new: the head job is not sent twice
    ASSERT_EQ(h.port.frames.size(), 1u);
    answerReactively(h);
    EXPECT_EQ(h.port.frames.size(), 3u);
    EXPECT_TRUE(std::equal(h.memory.begin(), h.memory.begin() + 128, h.workspace.ConfigImage.begin()));
    EXPECT_TRUE(h.workspace.queue.empty());
    EXPECT_EQ(h.status.last(), " Запись данных завершена");
    EXPECT_EQ(h.listener.writes, std::vector<bool>{true});
}

TEST(ReactiveWrite, AcknowledgementAmidNoiseAndCutInTwoCountsOnce) {
    ReactiveHarness h;
    ASSERT_TRUE(h.workspace.QueueWrite(10, 4));
    ASSERT_TRUE(h.workspace.QueueWrite(20, 4));
    ASSERT_TRUE(h.workspace.QueueWrite(30, 4));
    h.engine.startWrite();
    h.engine.react();
    h.engine.Timer1Timer(bytes("q#7 x~"));
    h.engine.react();
    EXPECT_EQ(h.port.frames.size(), 1u);
    h.engine.Timer1Timer(bytes("W=OK"));  // "~W=" across the two chunks
    h.engine.react();
    EXPECT_EQ(h.port.frames.size(), 2u);
    h.engine.Timer1Timer(bytes("\r\n"));  // the rest of the same acknowledgement releases nothing
    h.engine.react();
    EXPECT_EQ(h.port.frames.size(), 2u);
    EXPECT_EQ(h.workspace.queue.size(), 2u);

    // The module's pacing keeps its rule: a text cut by a chunk is not seen.
    EngineHarness module;
    module.engine.setWriteStep(1);
    module.engine.Timer1Timer(bytes("~W"));
    module.engine.Timer1Timer(bytes("="));
    EXPECT_EQ(module.engine.state().WriteStep, 1);
}

TEST(ReactivePacing, TimeOutsStillCountTicks) {
    ReactiveHarness h;
    h.answering = false;
    h.startRead(1234);
    h.engine.react();
    for (int i = 0; i < 20; ++i) {
        h.engine.Timer2Timer();
        h.engine.react();
    }
    EXPECT_EQ(h.port.frames.size(), 1u);
    h.engine.Timer2Timer();  // the window lapses
    h.engine.react();        // a repeat waits for a tick
    EXPECT_EQ(h.port.frames.size(), 1u);
    h.engine.Timer2Timer();
    EXPECT_EQ(h.port.frames.size(), 2u);
    EXPECT_EQ(h.engine.state().ReadRetries, 1);

    ReactiveHarness w;
    w.answering = false;
    ASSERT_TRUE(w.workspace.QueueWrite(10, 4));
    w.engine.startWrite();
    w.engine.react();
    for (int i = 0; i < 29; ++i) {
        w.engine.Timer2Timer();
        w.engine.react();
    }
    EXPECT_EQ(w.port.frames.size(), 1u);
    w.engine.Timer2Timer();  // 30 ticks: the time-out of the module's pacing
    EXPECT_EQ(w.engine.state().WriteRetries, 1);
    w.engine.Timer2Timer();
    EXPECT_EQ(w.port.frames.size(), 2u);
}

// In both pacings: a reply that arrives after its block's window lapsed is
// still the answer to the only request sent, and is taken; the block is asked
// again only once the line is quiet, and here it no longer needs to be.
TEST(RepeatedBlock, ALateReplyStillCountsAndTheRepeatWaitsForAQuietLine) {
    for (const Pacing pacing : {Pacing::Module, Pacing::Reactive}) {
        EngineHarness h;
        h.engine.setPacing(pacing);
        h.answering = false;
        h.startRead(1234);
        h.engine.Timer2Timer();
        ASSERT_EQ(h.port.frames.size(), 1u);
        const auto late = h.answer(h.port.frames[0]);
        for (int i = 0; i < 20; ++i) h.engine.Timer2Timer();
        h.engine.Timer1Timer(std::span(late).first(100));
        h.engine.Timer2Timer();  // lapses with the reply half in
        h.engine.Timer1Timer(std::span(late).subspan(100, 100));
        h.engine.Timer2Timer();  // bytes still arriving: held
        EXPECT_EQ(h.port.frames.size(), 1u);
        h.engine.Timer1Timer(std::span(late).subspan(200));
        EXPECT_EQ(h.engine.state().BlockCount, 1);
        EXPECT_TRUE(std::equal(h.memory.begin(), h.memory.begin() + 250, h.workspace.ReceivedImage.begin()));
        h.engine.Timer2Timer();  // held again
        EXPECT_EQ(h.port.frames.size(), 1u);
        h.engine.Timer2Timer();  // a quiet tick: block 1, not block 0 again
        ASSERT_EQ(h.port.frames.size(), 2u);
        EXPECT_EQ(h.port.frames[1], SendReadRequest(250, 250));
    }
}
