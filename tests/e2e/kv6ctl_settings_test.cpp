#include <QDir>
#include <QTemporaryDir>

#include "io/prg_file.h"
#include "kv6ctl_serial_fixture.h"
#include "pages/configuration.h"

using namespace kv6::e2e;

namespace {

// A module image whose read password is 0, as the file written to it holds.
kv6::image::Image modulePassword0(unsigned seed) {
    auto image = randomImage(seed);
    image[244] = image[245] = 0;
    return image;
}

}  // namespace

// A verified write: the module read back holds every written range. A module
// that acknowledges one job without storing it fails the verification, and the
// differing field is named.
TEST(Kv6ctlSettings, WriteAllVerifyCatchesAWriteTheModuleDidNotStore) {
    QTemporaryDir dir;
    writeFile(dir.filePath("site.prg"), modulePassword0(21));
    writeFile(dir.filePath("module.prg"), modulePassword0(22));
    {
        SerialSimulator sim({"--image", dir.filePath("module.prg")});
        const CtlResult r = runCtl({"write-all", "--port", sim.device(), "--verify", dir.filePath("site.prg")});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("verified")) << r.err.toStdString();
        EXPECT_EQ(runCtl({"verify", "--port", sim.device(), dir.filePath("site.prg")}).exitCode, 0);
    }
    SerialSimulator forgetful({"--image", dir.filePath("module.prg"), "--forget-write", "750"});
    const CtlResult r = runCtl({"write-all", "--port", forgetful.device(), "--verify", dir.filePath("site.prg")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("the module does not hold what was written")) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("verified"));
}

// A template's read password goes to a module of another only when the user
// says so: refused (nothing written), the module's kept, or the file's written.
TEST(Kv6ctlSettings, WriteAllGivesTheFilesPasswordOnlyWhenTold) {
    QTemporaryDir dir;
    const QString site = dir.filePath("site.prg");
    writeFile(site, modulePassword0(41));
    auto module = randomImage(42);
    module[244] = 4321 >> 8;
    module[245] = 4321 & 0xFF;
    writeFile(dir.filePath("module.prg"), module);
    SerialSimulator sim({"--image", dir.filePath("module.prg")});
    for (const QStringList& extra : {QStringList{}, {"--password", "4321"}}) {
        const CtlResult r = runCtl(QStringList{"write-all", "--port", sim.device(), site} + extra);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains("the file's read password (0) is not the module's")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("nothing written"));
    }
    EXPECT_EQ(runCtl({"diff", dir.filePath("module.prg"), "--port", sim.device(), "--password", "4321"}).exitCode, 0);

    CtlResult r = runCtl({"write-all", "--port", sim.device(), site, "--keep-password", "--password", "4321"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(runCtl({"verify", "--port", sim.device(), site, "--password", "4321"}).exitCode, 1);  // 244..245 differ
    r = runCtl({"write-all", "--port", sim.device(), site, "--password-from-file", "--verify"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(runCtl({"verify", "--port", sim.device(), site}).exitCode, 0);
}

// Every read leaves a backup; a data folder that cannot be written costs a
// warning, not the read.
TEST(Kv6ctlSettings, ReadsKeepBackupsAndAnUnwritableFolderOnlyWarns) {
    QTemporaryDir dir;
    writeFile(dir.filePath("module.prg"), modulePassword0(23));
    SerialSimulator sim({"--image", dir.filePath("module.prg")});
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
    CtlResult r = runCtl({"read", "--port", sim.device(), "--password", "0", "--out", dir.filePath("a.prg")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QDir(dir.filePath("data/korvel-kv6/backups")).entryList(QDir::Files).size(), 1);

    writeFile(dir.filePath("blocker"), kv6::image::Image{});
    qputenv("XDG_DATA_HOME", dir.filePath("blocker").toUtf8());
    r = runCtl({"read", "--port", sim.device(), "--password", "0", "--out", dir.filePath("b.prg")});
    qputenv("XDG_DATA_HOME", saved);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("warning: no backup kept")) << r.err.toStdString();
    EXPECT_EQ(readFile(dir.filePath("b.prg")), readFile(dir.filePath("a.prg")));
}

TEST(Kv6ctlSettings, DiffExitCodesAndApplyWritesNothingOnAProblem) {
    QTemporaryDir dir;
    writeFile(dir.filePath("a.prg"), randomImage(24));
    writeFile(dir.filePath("b.prg"), randomImage(24));
    EXPECT_EQ(runCtl({"diff", dir.filePath("a.prg"), dir.filePath("b.prg")}).exitCode, 0);
    kv6::image::Image outside = randomImage(24);
    outside[3000] ^= 0x5A;  // no field shows byte 3000
    writeFile(dir.filePath("c.prg"), outside);
    const CtlResult other = runCtl({"diff", dir.filePath("a.prg"), dir.filePath("c.prg")});
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_EQ(other.out, "bytes 3000..3000 differ, and no field shows it\n");
    EXPECT_EQ(runCtl({"set", dir.filePath("b.prg"), "object.ipPort=5000"}).exitCode, 0);
    EXPECT_EQ(runCtl({"diff", dir.filePath("a.prg"), dir.filePath("b.prg")}).exitCode, 1);
    EXPECT_EQ(runCtl({"diff", dir.filePath("a.prg"), dir.filePath("missing.prg")}).exitCode, 2);

    QFile json(dir.filePath("s.json"));
    ASSERT_TRUE(json.open(QIODevice::WriteOnly));
    json.write(R"({"object": {"ipPort": "1234", "nosuch": 1}})");
    json.close();
    const QByteArray before = readFile(dir.filePath("b.prg"));
    const CtlResult r = runCtl({"apply", dir.filePath("b.prg"), dir.filePath("s.json")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("object.nosuch: unknown key")) << r.err.toStdString();
    EXPECT_EQ(readFile(dir.filePath("b.prg")), before);
}

// The simulator's factory image holds bytes the editors would normalise: an
// empty template and export-then-apply leave it byte for byte, and diff
// against the tool's own save of it names the bytes no field shows.
TEST(Kv6ctlSettings, TemplatesChangeNoByteTheyDoNotName) {
    QTemporaryDir dir;
    const QString factory = dir.filePath("factory.prg");
    SerialSimulator({"--save", factory}).stop();
    const QByteArray original = readFile(factory);
    ASSERT_EQ(original.size(), 4096);
    QFile empty(dir.filePath("empty.json"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.write("{}");
    empty.close();
    EXPECT_EQ(runCtl({"apply", factory, empty.fileName()}).exitCode, 0);
    EXPECT_EQ(readFile(factory), original);
    EXPECT_EQ(runCtl({"export", factory, "--out", dir.filePath("all.json")}).exitCode, 0);
    EXPECT_EQ(runCtl({"apply", factory, dir.filePath("all.json")}).exitCode, 0);
    EXPECT_EQ(readFile(factory), original);

    kv6::pages::Configuration desktop;
    ASSERT_TRUE(kv6::io::loadConfigurationFile(desktop, factory).ok);
    ASSERT_TRUE(kv6::io::saveConfigurationFile(desktop, dir.filePath("saved.prg")).isEmpty());
    ASSERT_NE(readFile(dir.filePath("saved.prg")), original);
    const CtlResult diff = runCtl({"diff", factory, dir.filePath("saved.prg")});
    EXPECT_EQ(diff.exitCode, 1);
    EXPECT_TRUE(diff.out.contains("differ, and no field shows it")) << diff.out.toStdString();
}
