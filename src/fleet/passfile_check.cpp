#include "fleet/passfile_check.h"

#include <QStringList>
#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv6::fleet {

namespace {

QString userName() {
    const passwd* user = ::getpwuid(::geteuid());
    return user != nullptr ? QString::fromLocal8Bit(user->pw_name) : QString::number(::geteuid());
}

}  // namespace

QString PassfileCheck::named(const QString& connectOptions) {
    for (const QString& option : connectOptions.split(';', Qt::SkipEmptyParts))
        if (option.startsWith(QLatin1String("passfile="))) return option.mid(9);
    return {};
}

QString PassfileCheck::problem(const QString& path) {
    const QByteArray file = path.toLocal8Bit();
    struct stat info {};
    if (::stat(file.constData(), &info) != 0)
        return QStringLiteral("cannot use the passfile %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(info.st_mode)) return QStringLiteral("the passfile %1 is not a file").arg(path);
    if (::access(file.constData(), R_OK) != 0)
        return QStringLiteral("user %1 may not read the passfile %2 (%3): it must belong to the user the program "
                              "runs as, mode 0600")
            .arg(userName(), path, QString::fromLocal8Bit(std::strerror(errno)));
    // libpq's own rule: no access for the group or others at all.
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return QStringLiteral("the passfile %1 has mode %2, which libpq refuses: chmod 0600 %1")
            .arg(path, QString::number(info.st_mode & 07777, 8).rightJustified(4, '0'));
    return {};
}

}  // namespace kv6::fleet
