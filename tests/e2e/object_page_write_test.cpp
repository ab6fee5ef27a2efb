// The "Объект" page's write button against the simulated module over a real
// pseudo-terminal: after a read, an edit and the button, the module's memory
// differs from before exactly inside the ten ranges of the page.
#include <QTemporaryDir>

#include "page_write_support.h"

using namespace kv6;
using namespace kv6::e2e;

TEST(ObjectPageOverSimulator, WritesExactlyTheTenRanges) {
    QTemporaryDir dir;
    const QString after = dir.filePath("after.prg");
    QByteArray before;
    {
        SimulatedModuleRun run(after);
        ASSERT_TRUE(run.read()) << run.console.last;
        before = run.before;
        auto& values = run.configuration.object.values();
        values.objectNumber = "654321";
        values.apn = "site.apn";
        values.pollTimeMinutes = 300;
        values.attemptsIp1 = 3;
        values.attemptsIp2 = 15;
        ASSERT_EQ(run.press(run.configuration.object), pages::PageWriteButton::Outcome::Queued);
        EXPECT_EQ(run.configuration.workspace.queue.size(), 10u);
        ASSERT_TRUE(run.written()) << run.console.last;
    }
    const QByteArray memory = readFile(after);
    ASSERT_EQ(memory.size(), 4096);
    EXPECT_EQ(memory.left(6), QByteArray("654321"));
    EXPECT_EQ(memory.mid(134, 9), QByteArray("site.apn;"));
    EXPECT_EQ(static_cast<std::uint8_t>(memory[763]), 0xE2);
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1579]), 0x2C);
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1580]), 0x01);
    EXPECT_EQ(changedOutside(before, memory, {{0, 14}, {115, 19}, {134, 41}, {175, 42}, {768, 19}, {760, 1},
                                              {1508, 1}, {1579, 2}, {763, 3}, {1022, 5}}),
              0);
}
