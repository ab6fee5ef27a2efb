// kv6ctl against a module on a 9600 baud line that answers late: a read that
// finishes holds the module's bytes, one that cannot is refused with the
// read error, and writing back what was read sends only what the module held.

#include <QFileInfo>

#include "kv6ctl_serial_fixture.h"
#include "write_all_check.h"

using namespace kv6::e2e;

namespace {

struct SlowCase {
    const char* pace;
    int delayMs;
    bool writeBack;
};

void PrintTo(const SlowCase& c, std::ostream* os) { *os << c.pace << " " << c.delayMs << " ms"; }

std::string testName(const ::testing::TestParamInfo<SlowCase>& info) {
    return std::string(info.param.pace) + "_" + std::to_string(info.param.delayMs) + "ms";
}

kv6::image::Image moduleImage() {
    auto image = randomImage(33);
    image[244] = 0;
    image[245] = 0;
    return image;
}

class SlowModule : public ::testing::TestWithParam<SlowCase> {};

}  // namespace

TEST_P(SlowModule, ReadsExactlyOrRefusesAndWritesBackOnlyWhatItHeld) {
    const SlowCase& c = GetParam();
    QTemporaryDir dir;
    const auto module = moduleImage();
    writeFile(dir.filePath("module.prg"), module);
    SerialSimulator sim({"--line-rate", "--delay", QString::number(c.delayMs), "--image", dir.filePath("module.prg"),
                         "--save", dir.filePath("after.prg")});
    ASSERT_FALSE(sim.device().isEmpty());
    const QString out = dir.filePath("read.prg");
    const CtlResult r = runCtl({"read", "--port", sim.device(), "--password", "0", "--out", out, "--pace", c.pace});
    if (r.exitCode != 0) {
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Ошибка чтения данных"))) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(out));
        EXPECT_GE(c.delayMs, 3000) << "a module this fast is read";
        return;
    }
    ASSERT_EQ(readFile(out).left(2000), QByteArray(reinterpret_cast<const char*>(module.data()), 2000));
    if (!c.writeBack) return;
    const CtlResult w =
        runCtl({"write-all", "--port", sim.device(), out, "--pace", c.pace, "--password-from-file"});
    ASSERT_EQ(w.exitCode, 0) << w.err.toStdString();
    sim.stop();
    // The same as writing the module's own image back.
    expectWrittenAll(dir.filePath("module.prg"), module, readFile(dir.filePath("after.prg")));
}

// 700 and 1500 ms used to shift every block after a repeat by one block.
INSTANTIATE_TEST_SUITE_P(Delays, SlowModule,
                         ::testing::Values(SlowCase{"module", 700, true}, SlowCase{"module", 1500, false},
                                           SlowCase{"reactive", 1000, false}, SlowCase{"module", 3000, false}),
                         testName);
