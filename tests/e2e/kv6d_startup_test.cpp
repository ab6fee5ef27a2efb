// What kv6d does with its listening addresses and with a store it cannot
// serve, before any module calls.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>

#include "health_check.h"
#include "kv6d_guard_fixture.h"

using namespace kv6::e2e;

namespace {

struct Ended {
    int exitCode = -1;
    QString err;
};

// kv6d run to its end (it must end by itself within the time).
Ended runServer(const QStringList& args) {
    QProcess server;
    server.setProcessEnvironment(withoutLeakChecks());
    server.start(QStringLiteral(KV6D_PATH), args);
    Ended run;
    if (!server.waitForFinished(20000)) {
        stopProcess(server);
        run.err = QStringLiteral("kv6d did not end");
        return run;
    }
    run.exitCode = server.exitStatus() == QProcess::NormalExit ? server.exitCode() : -1;
    run.err = QString::fromUtf8(server.readAllStandardError());
    return run;
}

// Whether a TCP connection to the address and port is taken.
bool accepts(const QString& address, quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(address), port);
    return socket.waitForConnected(3000);
}

class Kv6dStartup : public ::testing::Test {
protected:
    Kv6dStartup() { e2eApp(); }
    ~Kv6dStartup() override { stopProcess(server); }

    // Starts kv6d and reads the ports it names (empty when it did not start).
    void start(const QStringList& args) {
        server.setProcessEnvironment(withoutLeakChecks());
        // The operator API on a free port, so that runs side by side never meet.
        const QStringList api = args.contains(QLatin1String("--api-listen")) ? QStringList{}
                                                                             : QStringList{"--api-listen", "127.0.0.1:0"};
        server.start(QStringLiteral(KV6D_PATH), QStringList{"--db", db()} + api + args);
        const QRegularExpression listening(QStringLiteral("listening on port (\\d+)"));
        const QRegularExpression apiLine(QStringLiteral("operator API on http://[0-9.]+:(\\d+)"));
        QElapsedTimer clock;
        clock.start();
        while (apiPort == 0 && clock.elapsed() < 20000 && server.state() != QProcess::NotRunning) {
            server.waitForReadyRead(100);
            log += server.readAllStandardError();
            port = listening.match(QString::fromUtf8(log)).captured(1).toUShort();
            apiPort = apiLine.match(QString::fromUtf8(log)).captured(1).toUShort();
        }
    }
    [[nodiscard]] QString db() const { return dir.filePath(QStringLiteral("fleet.sqlite")); }

    QTemporaryDir dir;
    QProcess server;
    QByteArray log;
    quint16 port = 0;
    quint16 apiPort = 0;
};

}  // namespace

// The module port faces the modules (or the load balancer), the operator API
// with its health check only the operators and the balancer's checks: each
// listens where it is told and nowhere else.
TEST_F(Kv6dStartup, EachPortListensOnTheAddressItIsGivenOnly) {
    start({"--listen", "127.0.0.2:0", "--api-listen", "127.0.0.3:0"});
    ASSERT_NE(apiPort, 0) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("kv6d: listening on port %1 at 127.0.0.2, store ").arg(port).toUtf8()))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("kv6d: operator API on http://127.0.0.3:%1\n").arg(apiPort).toUtf8()))
        << log.toStdString();

    HandModule module;  // connects to 127.0.0.1: refused
    EXPECT_FALSE(module.connect(port));
    QTcpSocket call;
    call.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), port);
    ASSERT_TRUE(call.waitForConnected(3000));
    EXPECT_TRUE(call.waitForReadyRead(5000)) << "no greeting on the module port";

    EXPECT_FALSE(accepts(QStringLiteral("127.0.0.1"), apiPort));
    EXPECT_FALSE(accepts(QStringLiteral("127.0.0.2"), apiPort));
    const HealthAnswer check = askHealth(QHostAddress(QStringLiteral("127.0.0.3")), apiPort);
    EXPECT_EQ(check.status, 200) << check.head.toStdString();
    EXPECT_EQ(check.body, "up\nconnections 1\n");  // the call on 127.0.0.2
}

TEST_F(Kv6dStartup, WithoutAnAddressTheModulePortListensOnEveryAddressAsBefore) {
    start({"--port", "0"});
    ASSERT_NE(apiPort, 0) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("kv6d: listening on port %1, store ").arg(port).toUtf8())) << log.toStdString();
    for (const char* address : {"127.0.0.1", "127.0.0.2"}) EXPECT_TRUE(accepts(QString::fromLatin1(address), port)) << address;
}

// Unusable addresses end kv6d before it opens the store, with the status of
// every unusable argument, which the service unit does not restart.
TEST_F(Kv6dStartup, RefusesAnAddressItCannotUseAndSaysWhy) {
    const std::pair<QStringList, const char*> cases[] = {
        {{"--listen", "localhost:8099"},
         "kv6d: --listen needs ADDRESS:PORT: 'localhost' is not an IP address (127.0.0.1, [::1], or * for every "
         "address)\n"},
        {{"--listen", "8099"}, "kv6d: --listen needs ADDRESS:PORT: '8099' has no port: give ADDRESS:PORT\n"},
        {{"--listen"}, "kv6d: --listen needs a value\n"},
        {{"--port", "8099", "--listen", "127.0.0.1:8099"},
         "kv6d: --port and --listen both say where one port listens: give one\n"},
        // The health check moved to the operator API: a unit of an older release is told where.
        {{"--status-port", "8097"},
         "kv6d: --status-port is gone: the health check is GET /healthz on the operator API's port (--api-listen "
         "ADDRESS:PORT)\n"},
        {{"--port", "8099", "--status-listen", "10.0.0.11:8097"},
         "kv6d: --status-listen is gone: the health check is GET /healthz on the operator API's port (--api-listen "
         "ADDRESS:PORT)\n"},
        {{"--listen", "10.0.0.1:8099", "--listen", "10.0.0.2:8099"},
         "kv6d: --listen and --listen both say where one port listens: give one\n"},
    };
    for (const auto& [args, message] : cases) {
        const Ended run = runServer(QStringList{"--db", db()} + args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith(QString::fromUtf8(message) + QStringLiteral("Usage: kv6d ")))
            << args.join(' ').toStdString() << ": " << run.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(db()));
    // An address of no interface here: the same status as a port in use.
    const Ended run = runServer({"--db", db(), "--listen", "192.0.2.1:0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("kv6d: cannot listen on port 0 at 192.0.2.1: "))) << run.err.toStdString();
}

// During a rolling upgrade the first new server migrates the store; an old
// one that starts afterwards can only fail, however often it is started.
TEST_F(Kv6dStartup, AStoreMigratedByANewerServerEndsItWithAStatusOfItsOwn) {
    {
        kv6::fleet::SqlFleetStore store(db());
        std::string error;
        ASSERT_TRUE(store.open(error)) << error;
    }
    const int ours = kv6::fleet::SqlFleetStore::schemaVersion();
    {
        QSqlDatabase sqlite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("newer"));
        sqlite.setDatabaseName(db());
        ASSERT_TRUE(sqlite.open());
        QSqlQuery query(sqlite);
        ASSERT_TRUE(query.exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(ours + 1)));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("newer"));
    const QByteArray before = readFile(db());

    const Ended run = runServer({"--db", db(), "--port", "0"});
    EXPECT_EQ(run.exitCode, 3);
    // The log's last two lines, each after its time stamp.
    const QStringList lines = run.err.trimmed().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 2) << run.err.toStdString();
    EXPECT_TRUE(lines[lines.size() - 2].endsWith(
        QStringLiteral(" error kv6d: the store has schema version %1, newer than this program's %2").arg(ours + 1).arg(ours)))
        << run.err.toStdString();
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral(" error kv6d: a newer kv6d migrated this store: install that version "
                                                     "here, then start kv6d again (exit status 3: not restarted)")))
        << run.err.toStdString();
    EXPECT_EQ(readFile(db()), before) << "the store changed";
}

// A passfile others may read is skipped by libpq, which then says only
// "fe_sendauth: no password supplied": kv6d names the file and the mending.
TEST_F(Kv6dStartup, APassfileLibpqWouldSkipIsNamedBeforeAnyConnection) {
    const QString passfile = dir.filePath(QStringLiteral("pgpass"));
    QFile file(passfile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("127.0.0.1:1:fleet:kv6d:secret\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    const QString url = QStringLiteral("postgresql://kv6d@127.0.0.1:1/fleet?sslmode=verify-full&passfile=") + passfile;
    const Ended run = runServer({"--db", url, "--port", "0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.endsWith(QStringLiteral("kv6d: the passfile %1 has mode 0644, which libpq refuses: chmod 0600 %1\n")
                                     .arg(passfile)))
        << run.err.toStdString();
}
