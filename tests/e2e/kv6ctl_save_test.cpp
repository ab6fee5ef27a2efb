#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "kv6ctl_serial_fixture.h"
#include "support/file_privileges.h"

using namespace kv6::e2e;

namespace {

constexpr QFileDevice::Permissions kReadOnlyFolder = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                     QFileDevice::ReadOther | QFileDevice::ExeOther;
constexpr QFileDevice::Permissions kOpenToAll = kReadOnlyFolder | QFileDevice::WriteOwner | QFileDevice::WriteOther;

}  // namespace

// A writable file in a folder that refuses new files (no temporary file can be
// made beside it) is saved in place. Root ignores folder permissions unless it
// gives up the capabilities that let it.
TEST(Kv6ctlSave, WritableFileInAReadOnlyFolderIsWrittenInPlace) {
    e2eApp();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/site.prg");
    writeFile(path, kv6::image::Image{});
    ASSERT_TRUE(QFile::setPermissions(dir.path(), kOpenToAll));
    ASSERT_TRUE(QFile::setPermissions(path, kOpenToAll));
    ASSERT_TRUE(QFile::setPermissions(folder, kReadOnlyFolder));

    ASSERT_TRUE(kv6::test::dropFilePermissionOverride());
    QProcess ctl;
    ctl.start(QStringLiteral(KV6CTL_PATH), {QStringLiteral("set"), path, QStringLiteral("object.objectNumber=123456")});
    ASSERT_TRUE(ctl.waitForFinished(30000));
    const QByteArray err = ctl.readAllStandardError();
    QFile::setPermissions(folder, kOpenToAll);
    EXPECT_EQ(ctl.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(readFile(path).left(6), QByteArray("123456"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("site.prg")});
}
