#pragma once

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <pwd.h>
#include <unistd.h>

namespace kv6::test {

// A PostgreSQL server of its own for one test: initdb and pg_ctl of the
// installed PostgreSQL in a temporary folder, on a free loopback port,
// stopped and removed at the end. PostgreSQL refuses to run as root, so as
// root the server runs as "nobody" in a folder that user may enter.
// Connections from 127.0.0.1 need the password of user kv6.
class ThrowawayPostgres {
public:
    static constexpr const char* kUser = "kv6";
    static constexpr const char* kPassword = "s3cret-Pg-28";

    ThrowawayPostgres() : m_dir(serverFolderBase() + QStringLiteral("/kv6-pg-XXXXXX")) { start(); }
    ~ThrowawayPostgres() {
        if (!m_started) return;
        run(QStringLiteral("pg_ctl"), {"stop", "-D", data(), "-m", "immediate", "-w"});
    }
    // As root, "nobody" must be able to enter every folder above the data
    // folder, and TMPDIR may be a private one (0700); /tmp is open to all.
    static QString serverFolderBase() { return ::geteuid() == 0 ? QStringLiteral("/tmp") : QDir::tempPath(); }
    ThrowawayPostgres(const ThrowawayPostgres&) = delete;
    ThrowawayPostgres& operator=(const ThrowawayPostgres&) = delete;

    // Empty when the server runs; else why it does not.
    [[nodiscard]] const QString& error() const { return m_error; }
    [[nodiscard]] quint16 port() const { return m_port; }
    // A URL for --db: the password in a passfile readable by this process only.
    [[nodiscard]] QString url() const {
        return QStringLiteral("postgresql://%1@127.0.0.1:%2/postgres?passfile=%3")
            .arg(QLatin1String(kUser))
            .arg(m_port)
            .arg(m_dir.filePath(QStringLiteral("client.pgpass")));
    }

private:
    [[nodiscard]] QString data() const { return m_dir.filePath(QStringLiteral("data")); }

    static QString binDir() {
        const QStringList versions =
            QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        return versions.isEmpty() ? QString() : QStringLiteral("/usr/lib/postgresql/%1/bin").arg(versions.last());
    }

    bool run(const QString& program, const QStringList& args) {
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        const QString path = binDir() + '/' + program;
        if (::geteuid() == 0)
            process.start(QStringLiteral("runuser"), QStringList{"-u", "nobody", "--", path} + args);
        else
            process.start(path, args);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            m_error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAll());
            return false;
        }
        return true;
    }

    static quint16 freePort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    void start() {
        if (binDir().isEmpty()) {
            m_error = QStringLiteral("PostgreSQL is not installed: run scripts/install-deps");
            return;
        }
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                                QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
        QDir().mkpath(data());
        const QString serverPassword = m_dir.filePath(QStringLiteral("initdb.pw"));
        writeFile(serverPassword, kPassword, QFile::ReadOwner | QFile::ReadOther);
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (nobody == nullptr || ::chown(qPrintable(data()), nobody->pw_uid, nobody->pw_gid) != 0) {
                m_error = QStringLiteral("cannot give the data folder to user nobody");
                return;
            }
        }
        if (!run(QStringLiteral("initdb"), {"-D", data(), "-U", kUser, "--pwfile", serverPassword, "--auth-local=trust",
                                            "--auth-host=scram-sha-256", "--no-sync", "--locale=C", "-E", "UTF8"}))
            return;
        QFile::remove(serverPassword);
        m_port = freePort();
        writeFile(m_dir.filePath(QStringLiteral("client.pgpass")),
                  QStringLiteral("127.0.0.1:%1:*:%2:%3\n").arg(m_port).arg(QLatin1String(kUser), QLatin1String(kPassword)),
                  QFile::ReadOwner | QFile::WriteOwner);
        const QString settings =
            QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off")
                .arg(m_port)
                .arg(data());
        m_started = run(QStringLiteral("pg_ctl"), {"start", "-D", data(), "-l", data() + "/server.log", "-w", "-t",
                                                   "60", "-o", settings});
    }

    static void writeFile(const QString& path, const QString& text, QFile::Permissions permissions) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text.toUtf8());
        file.close();
        file.setPermissions(permissions);
    }

    QTemporaryDir m_dir;
    QString m_error;
    quint16 m_port = 0;
    bool m_started = false;
};

}  // namespace kv6::test
