// The "GSM номера" and "SMS сообщения" write buttons against the simulated
// module over a real pseudo-terminal: after a read, edits and both buttons,
// the module's memory differs from before only inside the pages' ranges.
#include <QTemporaryDir>

#include "page_write_support.h"

using namespace kv6;
using namespace kv6::e2e;

TEST(GsmSmsPagesOverSimulator, WriteOnlyTheirRanges) {
    QTemporaryDir dir;
    const QString after = dir.filePath("after.prg");
    QByteArray before;
    {
        SimulatedModuleRun run(after);
        ASSERT_TRUE(run.read()) << run.console.last;
        before = run.before;
        pages::Configuration& configuration = run.configuration;
        pages::GsmModel::NumberDialog number = configuration.gsm.openNumberDialog(10);
        number.number = "+79001234567";  // the dialog's edit keeps ten
        number.functionItem = 3;
        number.code = 12;
        configuration.gsm.applyNumberDialog(10, number);
        configuration.gsm.values().countryCode = "7";
        configuration.sms.values().messages[2] = "Тревога";
        configuration.sms.values().targets[pages::SmsModel::Arm] = 3;
        configuration.sms.values().backupTarget = 2;
        for (image::PageModel* page : {static_cast<image::PageModel*>(&configuration.gsm),
                                       static_cast<image::PageModel*>(&configuration.sms)}) {
            ASSERT_EQ(run.press(*page), pages::PageWriteButton::Outcome::Queued);
            ASSERT_TRUE(run.written()) << run.console.last;
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
    EXPECT_EQ(changedOutside(before, memory, {{14, 101}, {750, 10}, {1028, 20}, {733, 2}, {745, 2}, {1583, 4},
                                              {788, 200}, {1307, 200}, {1603, 2}}),
              0);
}
