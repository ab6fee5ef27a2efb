#include <QFileInfo>

#include "kv6ctl_serial_fixture.h"
#include "link/protocol.h"

using namespace kv6::e2e;

namespace {

// A module image whose read password is 40000 (bytes 244..245, high first).
kv6::image::Image moduleImage() {
    auto image = randomImage(7);
    image[244] = 0x9C;
    image[245] = 0x40;
    return image;
}

}  // namespace

TEST(Kv6ctlSerialRead, ReturnsTheModulesImage) {
    QTemporaryDir dir;
    const auto module = moduleImage();
    writeFile(dir.filePath("module.prg"), module);
    SerialSimulator sim({"--image", dir.filePath("module.prg"), "--verbose"});
    ASSERT_FALSE(sim.device().isEmpty());
    const QString out = dir.filePath("read.prg");
    const CtlResult r = runCtl({"read", "--port", sim.device(), "--password", "40000", "--out", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(" Чтение данных завершено"));
    const QByteArray read = readFile(out);
    ASSERT_EQ(read.size(), 4096);
    EXPECT_EQ(read.left(2000), QByteArray(reinterpret_cast<const char*>(module.data()), 2000));
    EXPECT_EQ(read.mid(2000), QByteArray(4096 - 2000, static_cast<char>(0xFF)));

    // The tick that completes the read also asks for address 2000 (251 bytes,
    // so a late answer is never taken for a next read's first block), and
    // that request is on the line before kv6ctl ends.
    const auto ninth = kv6::link::SendReadRequest(2000, 251);
    const QByteArray request(reinterpret_cast<const char*>(ninth.data()), static_cast<qsizetype>(ninth.size()));
    EXPECT_TRUE(sim.logContains("kv6sim <- " + request.toHex(' ').toUpper(), 3000));
}

TEST(Kv6ctlSerialRead, WrongPasswordWritesNoFile) {
    QTemporaryDir dir;
    writeFile(dir.filePath("module.prg"), moduleImage());
    SerialSimulator sim({"--image", dir.filePath("module.prg")});
    const QString out = dir.filePath("read.prg");
    const CtlResult r = runCtl({"read", "--port", sim.device(), "--password", "4000", "--out", out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("!!! ОШИБКА чтение данных - Пароль не совпал")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST(Kv6ctlSerialRead, UnopenablePortAndBadArguments) {
    QTemporaryDir dir;
    const QString out = dir.filePath("read.prg");
    // One plain line with the port, the reason and the ports there are; exit 3.
    writeFile(dir.filePath("site.prg"), randomImage(3));
    for (const QStringList& args : {QStringList{"read", "--out", out}, QStringList{"reset", "--yes"},
                                    QStringList{"diff", dir.filePath("site.prg")}}) {
        const CtlResult missing = runCtl(args + QStringList{"--port", "/nonexistent/ttyKV6"});
        EXPECT_EQ(missing.exitCode, 3) << args.first().toStdString();
        EXPECT_TRUE(missing.err.startsWith("kv6ctl: cannot open the serial port /nonexistent/ttyKV6: "))
            << missing.err.toStdString();
        EXPECT_TRUE(missing.err.contains("; serial ports here: ") || missing.err.contains("; no serial port found"))
            << missing.err.toStdString();
        EXPECT_EQ(missing.err.count('\n'), 1) << missing.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(out));

    for (const QStringList& args : {QStringList{"read", "--out", out}, QStringList{"read", "--port", "1"},
                                    QStringList{"read", "--port", "1", "--password", "65536", "--out", out},
                                    QStringList{"read", "--port", "1", "--bogus", "--out", out},
                                    QStringList{"read", "--port", "1", "--pace", "fast", "--out", out},
                                    QStringList{"password", "--port", "1", "--old", "1"},
                                    QStringList{"reset", "--port"}, QStringList{"write-all", "--port", "1"}}) {
        const CtlResult r = runCtl(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("usage:")) << args.join(' ').toStdString();
    }
    EXPECT_TRUE(runCtl({"password", "--port", "1", "--old", "0", "--new", "99999"})
                    .err.contains("bad value '99999' for --new; expected a password 0..65535"));
}
