#include <gtest/gtest.h>

#include <random>

#include "engine_harness.h"
#include "link/protocol.h"

using namespace kv6::link;
using namespace kv6::link::test;

namespace {
// The module-does-not-answer box, as the user reads it.
const std::string kNoAnswer =
    " Модуль не отвечает.\n Проверьте соединение и настройки порта.\n Перегрузите модуль.";
}  // namespace

TEST(SerialRead, EightBlocksThenTheNinthRequestAndCompletion) {
    EngineHarness h;
    h.workspace.flags.set(3);
    h.startRead(1234);
    EXPECT_TRUE(std::all_of(h.workspace.ReceivedImage.begin(), h.workspace.ReceivedImage.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
    h.ticks(8);
    EXPECT_EQ(h.engine.state().BlockCount, 7);
    EXPECT_EQ(h.engine.state().ReadTicks, 8);  // one window across all blocks
    EXPECT_EQ(h.listener.completed, 0);
    h.tick();
    EXPECT_EQ(h.listener.completed, 1);
    EXPECT_FALSE(h.engine.state().ReadActive);
    EXPECT_TRUE(h.engine.state().BlockPending);  // the ninth request is outstanding
    EXPECT_EQ(h.engine.state().ReadTicks, 0);
    ASSERT_EQ(h.port.frames.size(), 9u);
    for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(h.port.frames[k], SendReadRequest(static_cast<std::uint16_t>(k * 250), 250));
    // The ninth asks for 251 bytes, so a late answer to it is never taken
    // for the first block of a following read.
    EXPECT_EQ(h.port.frames[8], SendReadRequest(2000, 251));
    EXPECT_TRUE(std::equal(h.memory.begin(), h.memory.begin() + 2000, h.workspace.ReceivedImage.begin()));
    // Block 7's end marker is not stored past its block.
    EXPECT_EQ(h.workspace.ReceivedImage[2000], 0xFF);
    EXPECT_EQ(h.workspace.ReceivedImage[2001], 0xFF);
    EXPECT_EQ(h.status.operation.front(), " Чтение данных ");
    EXPECT_EQ(h.status.operation[7], " Чтение данных **************");
    EXPECT_EQ(h.status.last(), " Чтение данных завершено");

    // The ninth reply settles its request and changes nothing once the read is done.
    const auto taken = h.workspace.ReceivedImage;
    h.tick();
    EXPECT_EQ(h.workspace.ReceivedImage, taken);
    EXPECT_FALSE(h.engine.state().BlockPending);
    EXPECT_EQ(h.port.frames.size(), 9u);

    // A read right after it starts afresh with 250 bytes at address 0.
    h.startRead(1234);
    h.tick();
    EXPECT_EQ(h.port.frames.back(), SendReadRequest(0, 250));
}

TEST(SerialRead, PasswordMismatchStopsAfterBlockZero) {
    EngineHarness h;
    h.workspace.flags.set(5);
    h.startRead(4321);
    h.ticks(2);
    EXPECT_EQ(h.status.last(), "!!! ОШИБКА чтение данных - Пароль не совпал");
    EXPECT_FALSE(h.engine.state().ReadActive);
    EXPECT_FALSE(h.engine.state().BlockPending);
    EXPECT_EQ(h.port.frames.size(), 1u);
    EXPECT_TRUE(std::all_of(h.workspace.ReceivedImage.begin(), h.workspace.ReceivedImage.begin() + 250,
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_FALSE(h.workspace.flags.isSet(5));
    EXPECT_EQ(h.listener.completed, 0);
    ASSERT_EQ(h.listener.failures.size(), 1u);
    EXPECT_EQ(h.listener.failures[0], ReadFailure::PasswordMismatch);
    EXPECT_TRUE(h.prompts.shown.empty());
}

TEST(SerialRead, PasswordsAbove32767AndTheEmptyEntryCompareUnsigned) {
    for (const std::uint16_t password : {std::uint16_t{40000}, std::uint16_t{65535}, std::uint16_t{32768}}) {
        EngineHarness h;
        h.setModulePassword(password);
        h.startRead(password);
        h.ticks(9);
        EXPECT_EQ(h.listener.completed, 1) << password;
    }
    EngineHarness h;
    h.setModulePassword(40000);
    h.startRead(39999);
    h.ticks(2);
    EXPECT_EQ(h.status.last(), "!!! ОШИБКА чтение данных - Пароль не совпал");
}

TEST(SerialRead, SilentModuleGetsFiveWindowsThenTheMessageBox) {
    EngineHarness h;
    h.answering = false;
    h.workspace.flags.set(1);
    h.startRead(1234);
    h.ticks(104);
    EXPECT_TRUE(h.engine.state().ReadActive);
    EXPECT_EQ(h.engine.state().ReadRetries, 4);
    ASSERT_EQ(h.port.frames.size(), 5u);  // ticks 1, 22, 43, 64, 85
    for (const auto& frame : h.port.frames) EXPECT_EQ(frame, SendReadRequest(0, 250));
    EXPECT_TRUE(h.prompts.shown.empty());
    h.tick();
    EXPECT_FALSE(h.engine.state().ReadActive);
    EXPECT_EQ(h.engine.state().ReadRetries, 0);
    ASSERT_EQ(h.prompts.shown.size(), 1u);
    EXPECT_EQ(h.prompts.shown[0].text, kNoAnswer);
    EXPECT_EQ(h.prompts.shown[0].caption, " Ошибка чтения данных");
    EXPECT_EQ(h.prompts.shown[0].icon, kv6::MessageIcon::Exclamation);
    EXPECT_EQ(h.prompts.shown[0].buttons, kv6::MessageButtons::Ok);
    EXPECT_FALSE(h.workspace.flags.isSet(1));
    EXPECT_EQ(h.listener.failures, std::vector<ReadFailure>{ReadFailure::NoAnswer});
    EXPECT_EQ(h.status.last(), " Чтение данных ");  // the last progress text stays
}

TEST(SerialRead, SplitEndIsNotAnEndAndTheBlockIsStoredAgain) {
    EngineHarness h;
    h.startRead(1234);
    h.engine.Timer2Timer();
    auto reply = h.answer(h.port.frames[0]);
    reply.pop_back();
    reply[10] = 0x55;  // a byte the repeat must overwrite
    h.engine.Timer1Timer(reply);
    h.engine.Timer1Timer(bytes("\r"));
    EXPECT_TRUE(h.engine.state().BlockPending);
    EXPECT_EQ(h.engine.state().BlockCount, 0);
    EXPECT_EQ(h.engine.state().ByteCount, 0);  // the CR ran past the reply: dropped
    EXPECT_EQ(h.workspace.ReceivedImage[10], 0xFF);  // nothing of it was taken
    EXPECT_EQ(h.workspace.ReceivedImage[250], 0xFF);
    for (int i = 0; i < 20; ++i) h.engine.Timer2Timer();
    EXPECT_EQ(h.port.frames.size(), 1u);
    h.engine.Timer2Timer();  // window lapses
    h.engine.Timer2Timer();  // asked again
    ASSERT_EQ(h.port.frames.size(), 2u);
    h.engine.Timer1Timer(h.answer(h.port.frames[1]));
    EXPECT_EQ(h.engine.state().BlockCount, 1);
    EXPECT_EQ(h.workspace.ReceivedImage[5], h.memory[5]);
}

// The reply ends at the ';' CR right after the 250 bytes asked for: a ';' CR
// among the data (a text with a line break) is stored, and a short reply
// ends nothing (its block is asked again when the window runs out).
TEST(SerialRead, SemicolonCrInsideTheDataIsDataAndAShortReplyEndsNothing) {
    EngineHarness h;
    h.memory[5] = ';';
    h.memory[6] = '\r';
    h.startRead(1234);
    h.engine.Timer2Timer();
    h.engine.Timer1Timer(h.answer(h.port.frames[0]));
    EXPECT_EQ(h.engine.state().BlockCount, 1);
    EXPECT_TRUE(std::equal(h.memory.begin(), h.memory.begin() + 250, h.workspace.ReceivedImage.begin()));

    EngineHarness s;
    s.startRead(1234);
    s.engine.Timer2Timer();
    s.engine.Timer1Timer(bytes("x,0123456789;\r"));
    EXPECT_EQ(s.engine.state().BlockCount, 0);
    EXPECT_TRUE(s.engine.state().BlockPending);
    EXPECT_EQ(s.workspace.ReceivedImage[0], 0xFF);  // a reply is stored only once it is whole
    EXPECT_EQ(s.workspace.ReceivedImage[10], 0xFF);
}

TEST(Receiver, TakesAtMostOneChunkAndReportsAcknowledgements) {
    EngineHarness h;
    const std::vector<std::uint8_t> big(3000, 'a');
    EXPECT_EQ(h.engine.Timer1Timer(big), TransferEngine::kChunkSize);
    EXPECT_EQ(h.engine.Timer1Timer({}), 0u);

    h.engine.setWriteStep(1);
    h.engine.Timer1Timer(bytes("~W=PSSW\r"));
    EXPECT_EQ(h.engine.state().WriteStep, 2);
    EXPECT_EQ(h.status.last(), " Пароль на чтение изменён");
    h.engine.Timer1Timer(bytes("KILL"));
    EXPECT_EQ(h.status.last(), " Настройки модуля приведены к заводским");
    EXPECT_EQ(h.listener.passwordAcks, 1);
    EXPECT_EQ(h.listener.resetAcks, 1);

    // A chunk that ends a read reply carries no acknowledgement.
    h.startRead(1234);
    h.engine.setWriteStep(1);
    h.engine.Timer2Timer();
    h.engine.Timer1Timer(bytes("~W=," + std::string(250, 'a') + ";\r~W=PSSW"));
    EXPECT_EQ(h.engine.state().WriteStep, 1);
    EXPECT_EQ(h.listener.passwordAcks, 1);
}

// Random chunks into the receiver during reads: nothing outside ReceivedImage
// changes, nothing crashes, and the counters stay in range.
TEST(Receiver, FuzzedChunksStayInsideTheImage) {
    std::mt19937 random(20240611);
    const std::uint8_t alphabet[] = {',', ';', '\r', '~', 'W', '=', 'P', 'S', 'K', 'I', 'L', 0x00, 0xFF};
    EngineHarness h;
    h.answering = false;
    h.workspace.ConfigImage.fill(0xA5);
    for (int round = 0; round < 4000; ++round) {
        if (round % 400 == 0) h.startRead(static_cast<std::uint16_t>(random()));
        std::vector<std::uint8_t> chunk(random() % 1400);
        for (auto& b : chunk)
            b = (random() % 3 == 0) ? static_cast<std::uint8_t>(random()) : alphabet[random() % sizeof alphabet];
        const std::size_t taken = h.engine.Timer1Timer(chunk);
        ASSERT_LE(taken, TransferEngine::kChunkSize);
        if (random() % 2) h.engine.Timer2Timer();
        ASSERT_GE(h.engine.state().ByteCount, 0);
        ASSERT_LE(h.engine.state().ByteCount, 4096);
    }
    EXPECT_TRUE(std::all_of(h.workspace.ConfigImage.begin(), h.workspace.ConfigImage.end(),
                            [](std::uint8_t b) { return b == 0xA5; }));
}
