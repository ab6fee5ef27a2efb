#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "image/image.h"

namespace kv6::io {

// Every image read from a module is kept as <object number>-<yyyymmdd-hhmmss>.prg
// in one folder, the newest kMaxPerObject per object number. Keeping a backup
// never fails an operation: the caller only reports what keep() returns.
class BackupStore {
public:
    static constexpr int kMaxPerObject = 200;

    // The user's data folder of the tool (shared by the desktop tool and kv6ctl).
    [[nodiscard]] static QString defaultFolder();

    explicit BackupStore(QString folder = defaultFolder()) : m_folder(std::move(folder)) {}

    // Writes the image; returns the file written, or sets `error` and returns "".
    QString keep(const image::Image& image, const QString& objectNumber, const QDateTime& when, QString* error);

    // Backups, newest first; only those of `objectNumber` when it is given.
    [[nodiscard]] QStringList list(const QString& objectNumber = {}) const;

    [[nodiscard]] const QString& folder() const { return m_folder; }

private:
    void rotate(const QString& objectTag) const;

    QString m_folder;
};

// The object number as a backup file name holds it: digits and letters kept,
// anything else dropped, "unknown" when nothing is left.
[[nodiscard]] QString backupObjectTag(const QString& objectNumber);

}  // namespace kv6::io
