#pragma once

#include <QString>
#include <string>

namespace kv6::fleet {

// One server per SQLite store: an exclusive lock (flock) on a file beside
// it, FILE.lock, held for as long as the server runs and let go by the
// system when it ends however it ends. The holder's name is written in the
// file so that a second server can say who holds the store.
class SqlFileLock {
public:
    explicit SqlFileLock(QString storeFile);
    ~SqlFileLock();
    SqlFileLock(const SqlFileLock&) = delete;
    SqlFileLock& operator=(const SqlFileLock&) = delete;

    // Takes the lock as `holder`; false with the reason (naming the holder) when another has it.
    [[nodiscard]] bool take(const QString& holder, std::string& error);
    [[nodiscard]] const QString& path() const { return m_path; }

private:
    QString m_storeFile;
    QString m_path;
    int m_fd = -1;
};

}  // namespace kv6::fleet
