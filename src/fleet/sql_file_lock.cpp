#include "fleet/sql_file_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kv6::fleet {

SqlFileLock::SqlFileLock(QString storeFile) : m_storeFile(std::move(storeFile)), m_path(m_storeFile + ".lock") {}

SqlFileLock::~SqlFileLock() {
    if (m_fd >= 0) ::close(m_fd);
}

bool SqlFileLock::take(const QString& holder, std::string& error) {
    const QByteArray path = m_path.toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot open " + m_path.toStdString() + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        char text[256] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        ::close(fd);
        if (why != EWOULDBLOCK) {
            error = "cannot lock " + m_path.toStdString() + ": " + std::strerror(why);
            return false;
        }
        std::string who(text, n > 0 ? static_cast<std::size_t>(n) : 0);
        while (!who.empty() && (who.back() == '\n' || who.back() == '\r')) who.pop_back();
        error = "the store " + m_storeFile.toStdString() + " is in use by " +
                (who.empty() ? std::string("another server") : who) +
                ": one kv6d per SQLite file (servers that share a store use PostgreSQL)";
        return false;
    }
    const QByteArray name = holder.toUtf8() + '\n';
    // Should the name not be written, the lock holds all the same.
    const bool named = ::ftruncate(fd, 0) == 0 &&
                       ::pwrite(fd, name.constData(), static_cast<std::size_t>(name.size()), 0) == name.size();
    (void)named;
    m_fd = fd;
    return true;
}

}  // namespace kv6::fleet
