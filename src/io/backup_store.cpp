#include "io/backup_store.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

#include "io/prg_file.h"

namespace kv6::io {

namespace {

constexpr const char* kStampFormat = "yyyyMMdd-HHmmss";

// "<tag>-<yyyymmdd-hhmmss>[-n].prg": the tag and the stamp sort the files.
struct BackupName {
    QString tag;
    QString stamp;  // with any "-n" suffix, so equal seconds still sort
};

bool parseName(const QString& fileName, BackupName& out) {
    if (!fileName.endsWith(QStringLiteral(".prg"))) return false;
    const QString base = fileName.chopped(4);
    const qsizetype dash = base.indexOf(QLatin1Char('-'));
    if (dash <= 0 || base.size() - dash - 1 < 15) return false;
    out.tag = base.left(dash);
    out.stamp = base.mid(dash + 1);
    return QDateTime::fromString(out.stamp.left(15), QString::fromLatin1(kStampFormat)).isValid();
}

}  // namespace

QString BackupStore::defaultFolder() {
    // The desktop tool's application data folder, whichever program asks.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/korvel-kv6/backups");
}

QString backupObjectTag(const QString& objectNumber) {
    QString tag;
    for (const QChar c : objectNumber)
        if (c.isLetterOrNumber() && c.unicode() < 128) tag += c;
    return tag.isEmpty() ? QStringLiteral("unknown") : tag;
}

QString BackupStore::keep(const image::Image& image, const QString& objectNumber, const QDateTime& when,
                          QString* error) {
    if (!QDir().mkpath(m_folder)) {
        if (error) *error = QStringLiteral("cannot create %1").arg(m_folder);
        return {};
    }
    const QString tag = backupObjectTag(objectNumber);
    const QString stamp = when.toString(QString::fromLatin1(kStampFormat));
    QString path = QDir(m_folder).filePath(QStringLiteral("%1-%2.prg").arg(tag, stamp));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(m_folder).filePath(QStringLiteral("%1-%2-%3.prg").arg(tag, stamp).arg(n));
    const QString failure = savePrg(path, image);
    if (!failure.isEmpty()) {
        if (error) *error = failure;
        return {};
    }
    rotate(tag);
    return path;
}

QStringList BackupStore::list(const QString& objectNumber) const {
    const QString wanted = objectNumber.isEmpty() ? QString() : backupObjectTag(objectNumber);
    struct Entry {
        QString path;
        BackupName name;
    };
    std::vector<Entry> entries;
    for (const QFileInfo& info : QDir(m_folder).entryInfoList({QStringLiteral("*.prg")}, QDir::Files)) {
        BackupName name;
        if (!parseName(info.fileName(), name) || (!wanted.isEmpty() && name.tag != wanted)) continue;
        entries.push_back({info.absoluteFilePath(), name});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.name.stamp.left(15) != b.name.stamp.left(15) ? a.name.stamp.left(15) > b.name.stamp.left(15)
                                                             : a.name.stamp.size() != b.name.stamp.size()
                                                                   ? a.name.stamp.size() > b.name.stamp.size()
                                                                   : a.name.stamp > b.name.stamp;
    });
    QStringList out;
    for (const Entry& e : entries) out << e.path;
    return out;
}

void BackupStore::rotate(const QString& objectTag) const {
    const QStringList kept = list(objectTag);
    for (qsizetype i = kMaxPerObject; i < kept.size(); ++i) QFile::remove(kept[i]);
}

}  // namespace kv6::io
