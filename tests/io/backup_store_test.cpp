#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "io/backup_store.h"

using kv6::io::BackupStore;

TEST(BackupStore, KeepsTheNewestPerObjectNewestFirst) {
    QTemporaryDir dir;
    BackupStore store(dir.filePath("backups"));
    kv6::image::Image image{};
    const QDateTime start(QDate(2026, 1, 1), QTime(8, 0));
    QString error;
    ASSERT_FALSE(store.keep(image, "777", start, &error).isEmpty()) << error.toStdString();
    for (int i = 0; i < BackupStore::kMaxPerObject + 2; ++i) {
        image[0] = static_cast<std::uint8_t>(i);
        ASSERT_FALSE(store.keep(image, "12 34", start.addSecs(i), &error).isEmpty()) << error.toStdString();
    }
    // Two in one second do not overwrite each other.
    ASSERT_FALSE(store.keep(image, "1234", start.addSecs(BackupStore::kMaxPerObject + 1), &error).isEmpty());

    const QStringList kept = store.list("1234");
    ASSERT_EQ(kept.size(), BackupStore::kMaxPerObject);
    EXPECT_EQ(QFileInfo(kept.front()).fileName(), "1234-20260101-080321-2.prg");
    EXPECT_EQ(QFileInfo(kept.back()).fileName(), "1234-20260101-080003.prg");  // the three oldest went
    EXPECT_EQ(store.list("777").size(), 1);  // other objects are not rotated away
    EXPECT_EQ(store.list().size(), BackupStore::kMaxPerObject + 1);
}

TEST(BackupStore, AFolderThatCannotBeMadeIsReportedNotThrown) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a regular file where the folder would go: even root cannot
    blocker.close();
    BackupStore store(dir.filePath("file/backups"));
    QString error;
    EXPECT_TRUE(store.keep(kv6::image::Image{}, "1", QDateTime::currentDateTime(), &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(store.list().isEmpty());
}
