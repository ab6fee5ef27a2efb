#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "io/prg_file.h"
#include "pages/configuration.h"

using namespace kv6;

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

QByteArray pattern(int size, int seed) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return bytes;
}

}  // namespace

TEST(PrgFile, ShortExactAndLongFiles) {
    QTemporaryDir dir;
    image::Image img;
    img.fill(0xEE);

    auto r = io::loadPrg(writeFile(dir, "short.prg", pattern(100, 1)), img);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.fileSize, 100);
    EXPECT_EQ(img[99], static_cast<std::uint8_t>((99 * 7 + 1) & 0xFF));
    EXPECT_EQ(img[100], 0xEE);  // the rest keeps its previous content
    EXPECT_EQ(img[4095], 0xEE);

    r = io::loadPrg(writeFile(dir, "long.prg", pattern(5000, 3)), img);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.fileSize, 5000);
    EXPECT_EQ(img[4095], static_cast<std::uint8_t>((4095 * 7 + 3) & 0xFF));
}

TEST(PrgFile, SavedFileLoadsBackByteForByte) {
    QTemporaryDir dir;
    image::Image img;
    for (std::size_t i = 0; i < img.size(); ++i) img[i] = static_cast<std::uint8_t>(i * 13);
    const QString path = dir.filePath("a.prg");
    ASSERT_EQ(io::savePrg(path, img), QString());
    EXPECT_EQ(QFile(path).size(), 4096);
    image::Image back{};
    ASSERT_TRUE(io::loadPrg(path, back).ok);
    EXPECT_EQ(back, img);
}

TEST(PrgFile, FailuresReportAReasonAndChangeNothing) {
    QTemporaryDir dir;
    pages::Configuration config;
    config.workspace.ReceivedImage.fill(0x11);
    config.workspace.ConfigImage.fill(0x22);

    const auto r = io::loadConfigurationFile(config, dir.filePath("missing.prg"));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_EQ(config.workspace.ReceivedImage[0], 0x11);
    EXPECT_EQ(config.workspace.ConfigImage[0], 0x22);
    EXPECT_FALSE(config.workspace.flags.isSet(0));  // no decode, no flags

    // A directory where the file should be, and a path below a plain file.
    const QString blocker = writeFile(dir, "plain", "x");
    EXPECT_FALSE(io::saveConfigurationFile(config, blocker + "/a.prg").isEmpty());
    QDir(dir.path()).mkdir("adir");
    EXPECT_FALSE(io::savePrg(dir.filePath("adir"), config.workspace.ConfigImage).isEmpty());
}

TEST(PrgFile, LoadDecodesSetsEveryFlagAndTakesTheImageOver) {
    QTemporaryDir dir;
    pages::Configuration config;
    const QString path = writeFile(dir, "full.prg", pattern(4096, 5));
    const auto r = io::loadConfigurationFile(config, path);
    ASSERT_TRUE(r.ok);
    for (int e = 0; e < image::SectionFlags::kCount; ++e) EXPECT_EQ(config.workspace.flags.isSet(e), e != 9);
    EXPECT_EQ(config.workspace.ConfigImage, config.workspace.ReceivedImage);
}
