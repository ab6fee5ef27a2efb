#include <gtest/gtest.h>

#include "io/module_link.h"
#include "link/protocol.h"
#include "pages/configuration.h"
#include "serial_pty.h"

using namespace kv6::io;
using namespace kv6::io::test;

namespace {

struct LinkOverPty {
    QCoreApplication& app = ensureApp();  // before the link: its timers need the application
    PtyMaster master;
    kv6::pages::Configuration configuration;
    PanelStatus status;
    ScriptedPrompts prompts;
    kv6::NullTraceSink trace;
    ModuleLink link{configuration, status, prompts, trace};
    QByteArray fromTool;

    LinkOverPty() {
        link.setPort(master.slavePath());
    }
    // Waits until the tool has sent `count` bytes (or more) since the last take.
    QByteArray take(int count) {
        processUntil([&] { return (fromTool += master.readAvailable()).size() >= count; }, 3000);
        QByteArray taken = fromTool.left(count);
        fromTool.remove(0, count);
        return taken;
    }
};

}  // namespace

TEST(ModuleLinkSerial, FactoryResetAndPasswordChangeAreAcknowledged) {
    LinkOverPty t;
    int resets = 0, passwordAcks = 0;
    QObject::connect(&t.link, &ModuleLink::factoryResetDone, [&] { ++resets; });
    QObject::connect(&t.link, &ModuleLink::passwordChanged, [&](bool ok) { passwordAcks += ok; });
    ASSERT_TRUE(t.link.ensureLink());
    EXPECT_EQ(t.status.port, t.master.slavePath().toStdString());

    t.link.sendFactoryReset();
    EXPECT_EQ(t.status.operation, " Сброс настроек ожидание ");
    EXPECT_EQ(t.take(9), QByteArray("IP~KILL=\r"));
    t.master.write("OK KILL\r\n");
    EXPECT_TRUE(processUntil([&] { return resets == 1; }, 3000));
    EXPECT_EQ(t.status.operation, " Настройки модуля приведены к заводским");

    t.link.sendPasswordChange(40000, 12);
    EXPECT_EQ(t.take(13), QByteArray("IP~PSSW=\x9C\x40\x00\x0C\r", 13));
    t.master.write("PSSW\r\n");
    EXPECT_TRUE(processUntil([&] { return passwordAcks == 1; }, 3000));
    EXPECT_EQ(t.status.operation, " Пароль на чтение изменён");
}

// A whole read through the real port and timers; the module here answers each
// request with its address's low byte repeated, and stores 40000 as password.
TEST(ModuleLinkSerial, ReadDecodesAndTakesTheImageOver) {
    LinkOverPty t;
    std::vector<kv6::image::DecodeSource> completed;
    QObject::connect(&t.link, &ModuleLink::readCompleted, [&](kv6::image::DecodeSource s) { completed.push_back(s); });
    t.configuration.workspace.flags.set(2);
    t.link.startRead(QStringLiteral("40000"));
    ASSERT_TRUE(t.link.readActive());
    for (int block = 0; block < 8; ++block) {
        const QByteArray request = t.take(13);
        ASSERT_EQ(request, QByteArray(reinterpret_cast<const char*>(kv6::link::SendReadRequest(
                                          static_cast<std::uint16_t>(block * 250), 250).data()), 13));
        QByteArray data(250, static_cast<char>(block + 1));
        if (block == 0) {
            data[244] = static_cast<char>(0x9C);
            data[245] = 0x40;
        }
        t.master.write("BLRD," + data + ";\r");
    }
    ASSERT_TRUE(processUntil([&] { return !completed.empty(); }, 4000));
    EXPECT_EQ(completed[0], kv6::image::DecodeSource::SerialRead);
    const auto& config = t.configuration.workspace.ConfigImage;
    EXPECT_EQ(config[0], 1);
    EXPECT_EQ(config[245], 0x40);
    EXPECT_EQ(config[1999], 8);
    EXPECT_EQ(config[2000], 0xFF);
    EXPECT_EQ(config[2001], 0xFF);
    EXPECT_FALSE(t.configuration.workspace.flags.isSet(2));
    EXPECT_EQ(t.status.operation, " Чтение данных завершено");
}

// Bytes that came in before a reopen belong to the earlier operation: a stale
// "~W=" must not acknowledge a job the module never got.
TEST(ModuleLinkSerial, ReopenStartsWithAnEmptyReceiveBuffer) {
    LinkOverPty t;
    int writes = 0;
    QObject::connect(&t.link, &ModuleLink::writeFinished, [&](bool) { ++writes; });
    ASSERT_TRUE(t.link.ensureLink());
    // More than the receiver takes in a tick (1050 bytes), so most of it waits.
    t.master.write(QByteArray(3000, 'x') + "~W=\r");
    processUntil([] { return false; }, 150);
    ASSERT_TRUE(t.link.ensureLink());
    ASSERT_TRUE(t.configuration.workspace.QueueWrite(10, 4));
    t.link.startWrite();
    processUntil([&] { return writes > 0; }, 2500);
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(t.configuration.workspace.queue.size(), 1u);
    EXPECT_NE(t.status.operation, " Запись данных завершена");
}
