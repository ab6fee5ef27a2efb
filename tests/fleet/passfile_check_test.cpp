// Why a passfile would give libpq no password, said before it says only
// "fe_sendauth: no password supplied".
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <pwd.h>
#include <unistd.h>

#include "fleet/passfile_check.h"
#include "support/file_privileges.h"

namespace kv6::fleet::test {

namespace {

QString passfile(const QTemporaryDir& dir, QFile::Permissions permissions) {
    const QString path = dir.filePath(QStringLiteral("pgpass"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("db.example:5432:fleet:kv6d:secret\n");
    file.close();
    file.setPermissions(permissions);
    return path;
}

}  // namespace

TEST(PassfileCheckTest, FindsThePassfileAmongTheConnectOptions) {
    EXPECT_EQ(PassfileCheck::named(QStringLiteral("sslmode=verify-full;passfile=/etc/kv6d/pgpass;connect_timeout=5"))
                  .toStdString(),
              "/etc/kv6d/pgpass");
    EXPECT_EQ(PassfileCheck::named(QStringLiteral("sslmode=verify-full")).toStdString(), "");
    EXPECT_EQ(PassfileCheck::named(QString()).toStdString(), "");
}

TEST(PassfileCheckTest, TakesAFileOnlyItsOwnerMayRead) {
    QTemporaryDir dir;
    EXPECT_EQ(PassfileCheck::problem(passfile(dir, QFile::ReadOwner | QFile::WriteOwner)).toStdString(), "");
    EXPECT_EQ(PassfileCheck::problem(passfile(dir, QFile::ReadOwner)).toStdString(), "");
}

TEST(PassfileCheckTest, SaysWhyLibpqWouldSkipIt) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pgpass"));
    EXPECT_EQ(PassfileCheck::problem(path).toStdString(),
              "cannot use the passfile " + path.toStdString() + ": No such file or directory");
    EXPECT_EQ(PassfileCheck::problem(dir.path()).toStdString(), "the passfile " + dir.path().toStdString() + " is not a file");
    // Group-readable, as a file of root's group kv6d would be: libpq refuses it.
    passfile(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    EXPECT_EQ(PassfileCheck::problem(path).toStdString(),
              "the passfile " + path.toStdString() + " has mode 0640, which libpq refuses: chmod 0600 " + path.toStdString());
    passfile(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);
    EXPECT_EQ(PassfileCheck::problem(path).toStdString(),
              "the passfile " + path.toStdString() + " has mode 0644, which libpq refuses: chmod 0600 " + path.toStdString());
}

// As a root-owned passfile is to the service's user.
TEST(PassfileCheckTest, SaysWhenThisUserMayNotReadIt) {
    ASSERT_TRUE(kv6::test::dropFilePermissionOverride());
    QTemporaryDir dir;
    const QString path = passfile(dir, QFile::WriteOwner);
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(PassfileCheck::problem(path).toStdString(),
              "user " + std::string(user->pw_name) + " may not read the passfile " + path.toStdString() +
                  " (Permission denied): it must belong to the user the program runs as, mode 0600");
}

}  // namespace kv6::fleet::test
