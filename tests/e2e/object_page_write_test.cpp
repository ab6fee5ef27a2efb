// The "Объект" page's write button against the simulated module over a real
// pseudo-terminal: after a read, an edit and the button, the module's memory
// differs from before exactly inside the ten ranges of the page.
#include "io/module_link.h"
#include "kv6ctl_serial_fixture.h"
#include "page_write_support.h"
#include "pages/configuration.h"
#include "pages/page_write_button.h"

using namespace kv6;
using namespace kv6::e2e;

namespace {

bool inPageRanges(int offset) {
    struct Range {
        int address, length;
    };
    for (const Range r : {Range{0, 14}, {115, 19}, {134, 41}, {175, 42}, {768, 19}, {760, 1}, {1508, 1},
                          {1579, 2}, {763, 3}, {1022, 5}})
        if (offset >= r.address && offset < r.address + r.length) return true;
    return false;
}

}  // namespace

TEST(ObjectPageOverSimulator, WritesExactlyTheTenRanges) {
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

        auto& values = configuration.object.values();
        values.objectNumber = "654321";
        values.apn = "site.apn";
        values.pollTimeMinutes = 300;
        values.attemptsIp1 = 3;
        values.attemptsIp2 = 15;
        Link adapter(link);
        pages::PageWriteButton button(configuration.object, configuration.workspace, console, adapter);
        ASSERT_EQ(button.click(), pages::PageWriteButton::Outcome::Queued);
        EXPECT_EQ(configuration.workspace.queue.size(), 10u);
        ASSERT_TRUE(waitFor(link, &io::ModuleLink::writeFinished, 60000)) << console.last;
        EXPECT_EQ(console.last, " Запись данных завершена");
    }
    const QByteArray memory = readFile(after);
    ASSERT_EQ(memory.size(), 4096);
    EXPECT_EQ(memory.left(6), QByteArray("654321"));
    EXPECT_EQ(memory.mid(134, 9), QByteArray("site.apn;"));
    EXPECT_EQ(static_cast<std::uint8_t>(memory[763]), 0xE2);
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1579]), 0x2C);
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1580]), 0x01);
    int changedOutside = 0;
    for (int i = 0; i < 2000; ++i)
        if (!inPageRanges(i) && memory[i] != before[i]) ++changedOutside;
    EXPECT_EQ(changedOutside, 0);
}
