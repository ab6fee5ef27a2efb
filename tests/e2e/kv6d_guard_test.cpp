// Whom kv6d lets in and whom it refuses, end to end: password mismatches,
// addresses behind a load balancer, a second claim on a connected object,
// a second server on one store, running out of descriptors, and texts TCP
// cut in two.
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "kv6d_guard_fixture.h"
#include "support/file_privileges.h"

using namespace kv6::e2e;

namespace {

const QByteArray kApnSettings = R"({"format": "kv6-settings", "version": 1, "object": {"apn": "fleet.apn"}})";

QByteArray identification(const char* object) { return QByteArray("#0000000000000SR ") + object; }

// HAProxy's send-proxy-v2 header for a TCP connection from `a.b.c.d:port`.
QByteArray proxyHeader(const QByteArray& address, quint16 port) {
    QByteArray h = QByteArray::fromHex("0d0a0d0a000d0a515549540a" "21" "11" "000c") + address +
                   QByteArray::fromHex("0a00000b");
    h.append(static_cast<char>(port >> 8)).append(static_cast<char>(port & 0xFF)).append("\x1f\xa3", 2);
    return h;
}

QJsonArray jsonList(const CtlResult& result) { return QJsonDocument::fromJson(result.out.toUtf8()).array(); }

// User and system time the process has used, in clock ticks.
long cpuTicks(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
    return fields.size() > 12 ? fields[11].toLong() + fields[12].toLong() : -1;  // utime, stime
}

}  // namespace

TEST_F(Kv6dGuard, MismatchesLockOutTheObjectNotItsAddressUntilCleared) {
    writeText("apn.json", kApnSettings);
    auto image = randomImage(27);
    image[244] = 0x04;  // read password 1234
    image[245] = 0xD2;
    writeFile(dir.filePath("foreign.prg"), image);
    startServer({"--lease", "3"});  // a heartbeat, and so a look at the lock-outs, every second
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 3; ++i)
        ids.push_back(queue({"write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"}));
    QProcess& foreign = startModule({"--object", "1001", "--image", dir.filePath("foreign.prg")});
    for (const auto id : ids) EXPECT_EQ(waitForJob(id, ended).state, kv6::fleet::JobState::Failed);
    EXPECT_TRUE(serverSaid("kv6d: locking out object 1001 until ")) << serverLog.toStdString();
    EXPECT_TRUE(serverSaid(" after 3 password mismatches\n"));
    EXPECT_TRUE(foreign.waitForFinished(10000));  // closed: its other jobs would fail alike

    // Another module behind the same address is served.
    const auto read = queue({"read", "--object", "1002", "--password", "0"});
    startModule({"--object", "1002"});
    EXPECT_EQ(waitForJob(read, ended).result, "read, backup kept");
    // Object 1001 is not, from any address.
    QProcess& again = startModule({"--object", "1001"});
    EXPECT_TRUE(again.waitForFinished(10000));
    EXPECT_TRUE(serverSaid("kv6d: refusing object 1001 from 127.0.0.1: locked out until "));

    const QJsonArray listed = jsonList(fleet({"lockouts", "--json"}));
    ASSERT_EQ(listed.size(), 2) << fleet({"lockouts", "--json"}).out.toStdString();
    EXPECT_EQ(listed[0].toObject()["kind"].toString(), "object");
    EXPECT_EQ(listed[0].toObject()["subject"].toString(), "1001");
    EXPECT_EQ(listed[0].toObject()["mismatches"].toInt(), 3);
    EXPECT_FALSE(listed[0].toObject()["lockedUntil"].toString().isEmpty());
    EXPECT_EQ(listed[1].toObject()["kind"].toString(), "address");
    EXPECT_EQ(listed[1].toObject()["subject"].toString(), "127.0.0.1");
    EXPECT_EQ(listed[1].toObject()["lockedUntil"].toString(), "");
    const CtlResult table = fleet({"lockouts"});
    EXPECT_TRUE(table.out.startsWith("KIND     SUBJECT    MISMATCHES  LAST MISMATCH         LOCKED OUT UNTIL\n"
                                     "object   1001       3           "))
        << table.out.toStdString();

    const CtlResult cleared = fleet({"lockouts", "--clear", "1001"});
    EXPECT_EQ(cleared.exitCode, 0) << cleared.err.toStdString();
    EXPECT_EQ(cleared.out, "cleared 1\n");
    const CtlResult nothing = fleet({"lockouts", "--clear", "1001"});
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_EQ(nothing.err, "kv6ctl fleet: no lock-out or mismatch count for 1001\n");
    QThread::msleep(1500);  // the server's next heartbeat
    const auto proof = queue({"read", "--object", "1001"});
    startModule({"--object", "1001"});
    EXPECT_EQ(waitForJob(proof, ended).result, "read, backup kept");
    EXPECT_EQ(fleet({"lockouts", "--clear", "--all"}).out, "cleared 1\n");  // the address's count
}

TEST_F(Kv6dGuard, AJobThatFailsForAnotherReasonCountsNoMismatch) {
    writeText("apn.json", kApnSettings);
    startServer({"--mismatch-limit", "1", "--address-mismatch-limit", "1"});
    const auto write = queue({"write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"});
    const auto read = queue({"read", "--object", "1001"});
    // The module proves its password but loses the write that holds the APN.
    startModule({"--object", "1001", "--forget-write", "128"});
    const auto failed = waitForJob(write, ended);
    EXPECT_EQ(failed.state, kv6::fleet::JobState::Failed);
    EXPECT_EQ(failed.result, "did not hold: object.apn");
    // Neither the object nor its address is refused for it: the next job runs.
    EXPECT_EQ(waitForJob(read, ended, 20000).result, "read, backup kept");
    EXPECT_EQ(fleet({"lockouts", "--json"}).out, "[]\n");
    EXPECT_FALSE(serverLog.contains("locking out")) << serverLog.toStdString();
}

TEST_F(Kv6dGuard, ConnectionsFromAListedBalancerAreKnownByTheAddressTheirHeaderGives) {
    startServer({"--proxy-from", "192.0.2.1,127.0.0.0/8"});
    HandModule first;
    ASSERT_TRUE(first.connect(port.toUShort(), proxyHeader(QByteArray::fromHex("cb007107"), 40001)));
    ASSERT_TRUE(first.greeted());
    first.send(identification("1001"));
    EXPECT_TRUE(serverSaid("kv6d: object 1001 identified from 203.0.113.7 (first seen)\n")) << serverLog.toStdString();
    // The header and the module's first bytes in one segment.
    HandModule second;
    ASSERT_TRUE(second.connect(port.toUShort(), proxyHeader(QByteArray::fromHex("c6336409"), 2) + identification("1002")));
    EXPECT_TRUE(serverSaid("kv6d: object 1002 identified from 198.51.100.9 (first seen)\n"));
    const QJsonArray modules = jsonList(fleet({"modules", "--json"}));
    ASSERT_EQ(modules.size(), 2);
    EXPECT_EQ(modules[0].toObject()["peer"].toString(), "203.0.113.7");

    // From a listed address, no header is no connection: nothing is sent to it.
    HandModule plain;
    ASSERT_TRUE(plain.connect(port.toUShort(), "PROXY TCP4 203.0.113.9 10.0.0.11 40001 8099\r\n"));
    EXPECT_TRUE(plain.closedWithin(5000));
    EXPECT_TRUE(plain.receive(1, 100).isEmpty());
    EXPECT_TRUE(serverSaid("kv6d: closing the connection from 127.0.0.1: not a PROXY protocol v2 header (no PROXY "
                           "protocol v2 signature)\n"));
}

TEST_F(Kv6dGuard, ASecondClaimOnAConnectedObjectMustProveThePasswordBeforeTheFirstIsDropped) {
    writeText("apn.json", kApnSettings);
    auto image = randomImage(5);
    image[244] = 0x04;  // read password 1234
    image[245] = 0xD2;
    writeFile(dir.filePath("foreign.prg"), image);
    startServer();
    const auto read = queue({"read", "--object", "1001", "--password", "0"});
    QProcess& real = startModule({"--object", "1001"});
    ASSERT_EQ(waitForJob(read, ended).result, "read, backup kept");

    QProcess& impostor = startModule({"--object", "1001", "--image", dir.filePath("foreign.prg")});
    EXPECT_TRUE(serverSaid("kv6d: object 1001 called again from 127.0.0.1; the older connection stays until this one "
                           "proves the recorded password\n"));
    EXPECT_TRUE(serverSaid("kv6d: refusing object 1001 from 127.0.0.1: the read password it holds differs from the "
                           "one recorded\n"));
    EXPECT_TRUE(impostor.waitForFinished(10000));
    EXPECT_EQ(real.state(), QProcess::Running);
    const auto write = queue({"write", dir.filePath("apn.json"), "--object", "1001"});
    EXPECT_EQ(waitForJob(write, ended).result, "verified");  // on the real module, never interrupted

    // The module itself calling again proves it, and its older connection goes.
    startModule({"--object", "1001"});
    EXPECT_TRUE(serverSaid("kv6d: object 1001 proved its password from 127.0.0.1; closing its older connection from "
                           "127.0.0.1\n"));
    EXPECT_TRUE(real.waitForFinished(10000));
    // ... and the newer one gets the object's jobs.
    const auto after = queue({"read", "--object", "1001"});
    EXPECT_EQ(waitForJob(after, ended, 20000).result, "read, backup kept");

    // With no password recorded there is nothing to prove: the newer waits for the older to end.
    QProcess& older = startModule({"--object", "2002"});
    ASSERT_TRUE(serverSaid("kv6d: object 2002 identified from 127.0.0.1 (first seen)\n"));
    startModule({"--object", "2002"});
    EXPECT_TRUE(serverSaid("kv6d: object 2002 called again from 127.0.0.1; with no password recorded to prove it, "
                           "it waits until the older connection ends\n"));
    EXPECT_EQ(older.state(), QProcess::Running);
    stopProcess(older);
    EXPECT_TRUE(serverSaid("kv6d: object 2002 disconnected\nkv6d: object 2002 identified from 127.0.0.1\n"));
}

TEST_F(Kv6dGuard, ASecondServerOnTheSameSqliteFileRefusesToStartAndSaysWhoHoldsIt) {
    startServer();
    QProcess second;
    second.setProcessEnvironment(withoutLeakChecks());
    second.start(QStringLiteral(KV6D_PATH), {"--port", "0", "--api-listen", "127.0.0.1:0", "--db", db()});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 1);
    const QString said = QString::fromUtf8(second.readAllStandardError());
    EXPECT_TRUE(said.endsWith(QStringLiteral("kv6d: the store %1 is in use by kv6d@%2:%3: one kv6d per SQLite file "
                                             "(servers that share a store use PostgreSQL)\n")
                                  .arg(db(), QHostInfo::localHostName())
                                  .arg(server.processId())))
        << said.toStdString();
    EXPECT_EQ(fleet({"jobs"}).exitCode, 0);  // kv6ctl still reads and queues beside the server

    ::kill(static_cast<pid_t>(server.processId()), SIGKILL);  // the lock goes with it
    server.waitForFinished(5000);
    startServer();
}

TEST_F(Kv6dGuard, OutOfDescriptorsTheServerWaitsQuietlyAndStillAnswersItsHealthCheck) {
    // 64 descriptors: some twenty for kv6d itself, the rest for modules.
    server.setChildProcessModifier([] {
        const rlimit limit{64, 64};
        ::setrlimit(RLIMIT_NOFILE, &limit);
    });
    startServer();
    // Checked as a load balancer checks it, every second or so, and a module
    // that came and went. (This also lets the sanitizers of a checked build
    // see the types involved while they can still open the descriptors
    // their checks need.)
    ASSERT_EQ(health().status, 200);
    {
        HandModule visitor;
        ASSERT_TRUE(visitor.connect(port.toUShort()) && visitor.greeted());
        visitor.send(identification("0999"));
        ASSERT_TRUE(serverSaid("kv6d: object 0999 identified"));
    }
    ASSERT_TRUE(serverSaid("kv6d: object 0999 disconnected"));
    std::list<QTcpSocket> idle;
    for (int i = 0; i < 80; ++i) {
        QTcpSocket& socket = idle.emplace_back();
        socket.connectToHost(QHostAddress::LocalHost, port.toUShort());
        ASSERT_TRUE(socket.waitForConnected(5000));  // the kernel completes it, accepted or not
    }
    QThread::msleep(1000);  // every descriptor taken by now
    const long before = cpuTicks(server.processId());
    QThread::msleep(2000);
    const long used = cpuTicks(server.processId()) - before;
    EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 2) << "kv6d used " << used << " ticks in 2 s while it could not accept";
    EXPECT_TRUE(serverSaid("kv6d: out of file descriptors with ")) << serverLog.toStdString();
    const HealthAnswer check = health();
    EXPECT_EQ(check.status, 200) << check.head.toStdString();
    EXPECT_TRUE(check.body.startsWith("up\nconnections ")) << check.body.toStdString();
    EXPECT_EQ(health().status, 200);  // the reserve is taken back after each check

    idle.clear();  // the descriptors free: the calls that waited are taken, then a module
    const auto read = queue({"read", "--object", "1001", "--password", "0"});
    startModule({"--object", "1001"});
    EXPECT_EQ(waitForJob(read, ended, 30000).result, "read, backup kept") << serverLog.toStdString();
    EXPECT_TRUE(serverSaid("kv6d: accepting connections again\n"));
}

TEST_F(Kv6dGuard, UnidentifiedConnectionsAreLimitedPerAddressAndInAll) {
    startServer({"--max-unidentified-per-address", "3"});
    std::list<HandModule> silent(3);
    for (HandModule& module : silent) {
        ASSERT_TRUE(module.connect(port.toUShort()));
        ASSERT_TRUE(module.greeted());
    }
    HandModule fourth;
    ASSERT_TRUE(fourth.connect(port.toUShort()));
    EXPECT_TRUE(fourth.closedWithin(5000));
    EXPECT_TRUE(serverSaid("kv6d: refusing 127.0.0.1: 3 connections from it have not identified themselves yet\n"));
    silent.front().send(identification("1001"));  // identified: no longer counted
    ASSERT_TRUE(serverSaid("kv6d: object 1001 identified from 127.0.0.1"));
    HandModule fifth;
    ASSERT_TRUE(fifth.connect(port.toUShort()));
    EXPECT_TRUE(fifth.greeted());

    stopProcess(server);
    startServer({"--max-unidentified", "2"});
    std::list<HandModule> two(2);
    for (HandModule& module : two) ASSERT_TRUE(module.connect(port.toUShort()) && module.greeted());
    HandModule waiting;  // held in the kernel's queue, not refused
    ASSERT_TRUE(waiting.connect(port.toUShort()));
    EXPECT_FALSE(waiting.greeted(1500));
    EXPECT_TRUE(serverSaid("kv6d: 2 connections have not identified themselves: accepting paused until one does or "
                           "ends\n"));
    two.front().send(identification("2002"));
    EXPECT_TRUE(waiting.greeted());
}

TEST_F(Kv6dGuard, AConnectionThatNeverIdentifiesIsClosedAfterTheIdentifyTimeout) {
    startServer({"--identify-timeout", "1"});
    HandModule silent;
    ASSERT_TRUE(silent.connect(port.toUShort()) && silent.greeted());
    EXPECT_TRUE(silent.closedWithin(5000));
    EXPECT_TRUE(serverSaid("kv6d: closing the connection from 127.0.0.1: no identification\n")) << serverLog.toStdString();
}

TEST_F(Kv6dGuard, AnIdentificationSplitOverTwoSegmentsIsRecognised) {
    startServer();
    const auto read = queue({"read", "--object", "1001", "--password", "0"});
    startModule({"--object", "1001", "--split"});  // the text in two writes 50 ms apart
    EXPECT_EQ(waitForJob(read, ended, 20000).result, "read, backup kept");
    EXPECT_TRUE(serverSaid("kv6d: object 1001 identified from 127.0.0.1"));
}

TEST_F(Kv6dGuard, ObjectNumber5352KeepsItsNumberThroughRepliesThatCarrySr) {
    writeText("apn.json", kApnSettings);
    startServer();
    const auto write = queue({"write", dir.filePath("apn.json"), "--object", "5352", "--password", "0"});
    QProcess& module = startModule({"--object", "5352", "--verbose"});  // every frame it gets, in hex
    EXPECT_EQ(waitForJob(write, ended).result, "verified");
    stopProcess(module);
    const QByteArray frames = module.readAllStandardError();
    EXPECT_EQ(frames.count("<- 7E 53 52 "), 50) << frames.toStdString();  // read 15, write 20, read back 15
    EXPECT_FALSE(frames.contains("<- 7E 00 00 ")) << frames.toStdString();
    EXPECT_FALSE(serverLog.contains("object number changed")) << serverLog.toStdString();
}

TEST_F(Kv6dGuard, AReadOnlyStoreIsListedButNotServed) {
    EXPECT_GT(queue({"read", "--object", "1001", "--password", "0"}), 0);
    ASSERT_TRUE(kv6::test::dropFilePermissionOverride());
    ASSERT_EQ(::chmod(db().toLocal8Bit().constData(), 0400), 0);
    ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0500), 0);

    const CtlResult jobs = fleet({"jobs", "--json"});
    EXPECT_EQ(jobs.exitCode, 0) << jobs.err.toStdString();
    EXPECT_EQ(jsonList(jobs).size(), 1) << jobs.out.toStdString();
    EXPECT_EQ(fleet({"modules"}).exitCode, 0);
    const CtlResult queued = fleet({"queue", "read", "--object", "1002"});
    EXPECT_EQ(queued.exitCode, 1);
    EXPECT_EQ(queued.err, QStringLiteral("kv6ctl fleet: the store %1 is read-only: queue needs write access to it and "
                                         "to its folder\n")
                              .arg(db()));

    QProcess refused;
    refused.setProcessEnvironment(withoutLeakChecks());
    refused.start(QStringLiteral(KV6D_PATH), {"--port", "0", "--api-listen", "127.0.0.1:0", "--db", db()});
    ASSERT_TRUE(refused.waitForFinished(20000));
    EXPECT_EQ(refused.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(refused.readAllStandardError())
                    .endsWith(QStringLiteral("kv6d: the store %1 is read-only: kv6d needs write access to it and to "
                                             "its folder\n")
                                  .arg(db())));
    ::chmod(dir.path().toLocal8Bit().constData(), 0700);
}
