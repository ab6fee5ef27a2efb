#pragma once

// kv6d on a free port over a store in a temporary folder, for the tests of
// what it refuses and whom it lets in: its log is kept line by line, modules
// are kv6sim processes or sockets that speak for themselves.

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>
#include <functional>
#include <list>

#include "fleet/sql_fleet_store.h"
#include "health_check.h"
#include "kv6ctl_serial_fixture.h"
#include "kv6d_log.h"

namespace kv6::e2e {

inline QProcessEnvironment withoutLeakChecks() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    return environment;
}

inline void stopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(10000)) process.kill();
    process.waitForFinished(2000);
}

// A module written by hand: its bytes go out exactly as the test says.
class HandModule {
public:
    bool connect(quint16 port, const QByteArray& first = {}) {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        if (!m_socket.waitForConnected(5000)) return false;
        if (!first.isEmpty()) send(first);
        return true;
    }
    void send(const QByteArray& bytes) {
        m_socket.write(bytes);
        m_socket.waitForBytesWritten(2000);
    }
    // The 24-byte greeting a server sends each connection it lets in.
    bool greeted(int ms = 5000) { return receive(24, ms).size() == 24; }
    QByteArray receive(qsizetype count, int ms) {
        QElapsedTimer clock;
        clock.start();
        while (m_received.size() < count && clock.elapsed() < ms) {
            if (m_socket.state() != QAbstractSocket::ConnectedState && m_socket.bytesAvailable() == 0) break;
            m_socket.waitForReadyRead(50);
            m_received += m_socket.readAll();
        }
        const QByteArray taken = m_received.left(count);
        m_received.remove(0, taken.size());
        return taken;
    }
    // Whether the server closed the connection within the time.
    bool closedWithin(int ms) {
        QElapsedTimer clock;
        clock.start();
        while (m_socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < ms) {
            m_socket.waitForReadyRead(50);
            m_received += m_socket.readAll();
        }
        return m_socket.state() != QAbstractSocket::ConnectedState;
    }

private:
    QTcpSocket m_socket;
    QByteArray m_received;
};

class Kv6dGuard : public ::testing::Test {
protected:
    Kv6dGuard() { e2eApp(); }
    ~Kv6dGuard() override {
        for (QProcess& module : modules) stopProcess(module);
        stopProcess(server);
    }

    void startServer(const QStringList& extra = {}) {
        serverLog.clear();
        port.clear();
        apiPort.clear();
        server.setProcessEnvironment(withoutLeakChecks());
        server.start(QStringLiteral(KV6D_PATH),
                     QStringList{"--port", "0", "--api-listen", "127.0.0.1:0", "--db", db(), "--no-inventory-read"} + extra);
        const QRegularExpression listening(QStringLiteral("listening on port (\\d+)"));
        const QRegularExpression api(QStringLiteral("operator API on https?://\\S+:(\\d+)"));
        QElapsedTimer clock;
        clock.start();
        while (apiPort.isEmpty() && clock.elapsed() < 20000 && server.state() != QProcess::NotRunning) {
            server.waitForReadyRead(100);
            serverLog += server.readAllStandardError();
            port = listening.match(QString::fromUtf8(serverLog)).captured(1);
            apiPort = api.match(QString::fromUtf8(serverLog)).captured(1);
        }
        ASSERT_FALSE(apiPort.isEmpty()) << "kv6d did not start: " << serverLog.toStdString();
    }
    QProcess& startModule(const QStringList& options) {
        QProcess& module = modules.emplace_back();
        module.setProcessEnvironment(withoutLeakChecks());
        module.start(QStringLiteral(KV6SIM_PATH), QStringList{"--connect", "127.0.0.1:" + port} + options);
        EXPECT_TRUE(module.waitForStarted(5000));
        return module;
    }
    // Waits (at most `ms`) until kv6d's log holds `needle`.
    bool serverSaid(const QString& needle, int ms = 15000) {
        QElapsedTimer clock;
        clock.start();
        while (!kv6::test::withoutStamps(serverLog += server.readAllStandardError()).contains(needle.toUtf8()) &&
               clock.elapsed() < ms)
            server.waitForReadyRead(50);
        return kv6::test::withoutStamps(serverLog).contains(needle.toUtf8());
    }
    // Waits `ms` while reading kv6d's log. Sleeping instead leaves the log in
    // its pipe: once that is full, kv6d's next line blocks its whole loop.
    void pause(int ms) {
        QElapsedTimer clock;
        clock.start();
        do {
            server.waitForReadyRead(static_cast<int>(std::clamp<qint64>(ms - clock.elapsed(), 1, 50)));
            serverLog += server.readAllStandardError();
        } while (clock.elapsed() < ms);
    }
    // The log lines that start with `prefix` (after "kv6d: ").
    int linesSaying(const QString& prefix) {
        serverLog += server.readAllStandardError();
        int n = 0;
        for (const QByteArray& line : kv6::test::withoutStamps(serverLog).split('\n'))
            if (line.startsWith(("kv6d: " + prefix).toUtf8())) ++n;
        return n;
    }
    [[nodiscard]] QString db() const { return dir.filePath(QStringLiteral("fleet.sqlite")); }
    CtlResult fleet(const QStringList& args) { return runCtl(QStringList{"fleet"} + args + QStringList{"--db", db()}); }
    std::int64_t queue(const QStringList& args) {
        const CtlResult r = fleet(QStringList{"queue"} + args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r.out.trimmed().toLongLong();
    }
    // The job as the store has it once `done` holds (at most `ms`).
    fleet::JobRecord waitForJob(std::int64_t id, const std::function<bool(const fleet::JobRecord&)>& done,
                                int ms = 60000) {
        fleet::SqlFleetStore store(db());
        std::string error;
        EXPECT_TRUE(store.open(error)) << error;
        QElapsedTimer clock;
        clock.start();
        fleet::JobRecord last;
        while (clock.elapsed() < ms) {
            for (const auto& job : store.jobs(std::nullopt, std::nullopt))
                if (job.id == id) last = job;
            if (done(last)) return last;
            pause(50);
        }
        ADD_FAILURE() << "job " << id << " stayed " << fleet::stateName(last.state) << ": " << last.result;
        return last;
    }
    static bool ended(const fleet::JobRecord& job) {
        return job.state == fleet::JobState::Done || job.state == fleet::JobState::Failed;
    }
    // What kv6d's health check answers (status 0 when it does not within the time).
    HealthAnswer health() { return askHealth(apiPort.toUShort()); }
    void writeText(const QString& name, const QByteArray& text) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QTemporaryDir dir;
    QProcess server;
    QByteArray serverLog;
    QString port;
    QString apiPort;  // the operator API's, where the health check is
    std::list<QProcess> modules;
};

}  // namespace kv6::e2e
