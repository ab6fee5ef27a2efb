// The "Коды и Разделы" page's write button against the simulated module over
// a real pseudo-terminal: after a read, dialog-style edits and the button, the
// module's memory differs only inside the eight ranges of the page.
#include "io/module_link.h"
#include "kv6ctl_serial_fixture.h"
#include "page_write_support.h"
#include "pages/configuration.h"
#include "pages/page_write_button.h"

using namespace kv6;
using namespace kv6::e2e;

namespace {

bool inPageRanges(int offset) {
    for (const auto& [address, length] : {std::pair{1195, 48}, {1642, 24}, {1163, 32}, {243, 1}, {990, 32},
                                         {1159, 2}, {1162, 1}, {1508, 1}})
        if (offset >= address && offset < address + length) return true;
    return false;
}

}  // namespace

TEST(CodesPageOverSimulator, WritesOnlyTheEightRanges) {
    QTemporaryDir dir;
    const QString after = dir.filePath("after.prg");
    QByteArray before;
    {
        SerialSimulator sim({"--save", after});
        ASSERT_FALSE(sim.device().isEmpty());
        Console console;
        pages::Configuration configuration(&console);
        io::ModuleLink link(configuration, console, console, console);
        link.setPort(sim.device());
        link.startRead(QStringLiteral("0"));
        ASSERT_TRUE(waitFor(link, &io::ModuleLink::readCompleted, 20000)) << console.last;
        before = QByteArray(reinterpret_cast<const char*>(configuration.workspace.ConfigImage.data()), 2000);

        pages::CodesModel& codes = configuration.codes;
        codes.setSixDigits(true);
        codes.values().codes[6] = "123456";
        codes.setPartitionMask(7, 0x05);
        codes.setBypass(24, true);
        codes.setPartitionMask(pages::CodesModel::kCode99, 0x10);
        codes.values().partitionObjects[2] = "0012";
        Link adapter(link);
        pages::PageWriteButton button(codes, configuration.workspace, console, adapter);
        ASSERT_EQ(button.click(), pages::PageWriteButton::Outcome::Queued);
        ASSERT_TRUE(waitFor(link, &io::ModuleLink::writeFinished, 60000)) << console.last;
        EXPECT_EQ(console.last, " Запись данных завершена");
    }
    const QByteArray memory = readFile(after);
    ASSERT_EQ(memory.size(), 4096);
    EXPECT_EQ(memory.mid(1213, 3), QByteArray("\x21\x43\x65"));
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1169]), 0x05);
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1162]) & 0x80, 0x80);
    EXPECT_EQ(static_cast<std::uint8_t>(memory[243]), 0x10);
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1508]) & 0x02, 0x02);
    EXPECT_EQ(memory.mid(994, 2), QByteArray("\x00\x12", 2));
    int changedOutside = 0;
    for (int i = 0; i < 2000; ++i)
        if (!inPageRanges(i) && memory[i] != before[i]) ++changedOutside;
    EXPECT_EQ(changedOutside, 0);
}
