// The "Коды и Разделы" page's write button against the simulated module over
// a real pseudo-terminal: after a read, dialog-style edits and the button, the
// module's memory differs only inside the eight ranges of the page.
#include <QTemporaryDir>

#include "page_write_support.h"

using namespace kv6;
using namespace kv6::e2e;

TEST(CodesPageOverSimulator, WritesOnlyTheEightRanges) {
    QTemporaryDir dir;
    const QString after = dir.filePath("after.prg");
    QByteArray before;
    {
        SimulatedModuleRun run(after);
        ASSERT_TRUE(run.read()) << run.console.last;
        before = run.before;
        pages::CodesModel& codes = run.configuration.codes;
        codes.setSixDigits(true);
        codes.values().codes[6] = "123456";
        codes.setPartitionMask(7, 0x05);
        codes.setBypass(24, true);
        codes.setPartitionMask(pages::CodesModel::kCode99, 0x10);
        codes.values().partitionObjects[2] = "0012";
        ASSERT_EQ(run.press(codes), pages::PageWriteButton::Outcome::Queued);
        ASSERT_TRUE(run.written()) << run.console.last;
    }
    const QByteArray memory = readFile(after);
    ASSERT_EQ(memory.size(), 4096);
    EXPECT_EQ(memory.mid(1213, 3), QByteArray("\x21\x43\x65"));
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1169]), 0x05);
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1162]) & 0x80, 0x80);
    EXPECT_EQ(static_cast<std::uint8_t>(memory[243]), 0x10);
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1508]) & 0x02, 0x02);
    EXPECT_EQ(memory.mid(994, 2), QByteArray("\x00\x12", 2));
    EXPECT_EQ(changedOutside(before, memory, {{1195, 48}, {1642, 24}, {1163, 32}, {243, 1}, {990, 32}, {1159, 2},
                                              {1162, 1}, {1508, 1}}),
              0);
}
