// The "GSM номера" and "SMS сообщения" write buttons against the simulated
// module over a real pseudo-terminal: after a read, edits and both buttons,
// the module's memory differs from before only inside the pages' ranges.
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
    for (const Range r : {Range{14, 101}, {750, 10}, {1028, 20}, {733, 2}, {745, 2}, {1583, 4}, {788, 200},
                          {1307, 200}, {1603, 2}})
        if (offset >= r.address && offset < r.address + r.length) return true;
    return false;
}

}  // namespace

TEST(GsmSmsPagesOverSimulator, WriteOnlyTheirRanges) {
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

        pages::GsmModel::NumberDialog number = configuration.gsm.openNumberDialog(10);
        number.number = "+79001234567";  // the dialog's edit keeps ten
        number.functionItem = 3;
        number.code = 12;
        configuration.gsm.applyNumberDialog(10, number);
        configuration.gsm.values().countryCode = "7";
        configuration.sms.values().messages[2] = "Тревога";
        configuration.sms.values().targets[pages::SmsModel::Arm] = 3;
        configuration.sms.values().backupTarget = 2;
        Link adapter(link);
        for (image::PageModel* page : {static_cast<image::PageModel*>(&configuration.gsm),
                                       static_cast<image::PageModel*>(&configuration.sms)}) {
            pages::PageWriteButton button(*page, configuration.workspace, console, adapter);
            ASSERT_EQ(button.click(), pages::PageWriteButton::Outcome::Queued);
            ASSERT_TRUE(waitFor(link, &io::ModuleLink::writeFinished, 60000)) << console.last;
            EXPECT_EQ(console.last, " Запись данных завершена");
        }
    }
    const QByteArray memory = readFile(after);
    ASSERT_EQ(memory.size(), 4096);
    EXPECT_EQ(memory.mid(104, 11), QByteArray("+790012345" "7"));
    EXPECT_EQ(static_cast<std::uint8_t>(memory[750]), 7);
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1038]), 12);
    EXPECT_EQ(memory.mid(828, 2), QByteArray("\x22\x04"));
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1583]) >> 4, 3);
    EXPECT_EQ(static_cast<std::uint8_t>(memory[1603]), 2);
    int changedOutside = 0;
    for (int i = 0; i < 2000; ++i)
        if (!inPageRanges(i) && memory[i] != before[i]) ++changedOutside;
    EXPECT_EQ(changedOutside, 0);
}
