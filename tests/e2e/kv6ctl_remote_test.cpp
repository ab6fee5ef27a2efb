#include <QTcpServer>
#include <QTcpSocket>

#include "kv6ctl_serial_fixture.h"
#include "write_all_check.h"

using namespace kv6::e2e;

namespace {

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

struct RemoteRun {
    CtlResult ctl;
    int simExit = -1;
};

// Starts `kv6ctl <command> --remote` on a free port, waits until it listens,
// then lets `kv6sim --connect` dial in as a module; returns when both ended.
RemoteRun runRemote(const QStringList& command, const QStringList& simOptions) {
    e2eApp();
    const quint16 port = freePort();
    QProcess ctl;
    QStringList args = command;
    args << "--remote" << "--listen-port" << QString::number(port) << "--wait" << "20";
    ctl.setReadChannel(QProcess::StandardError);
    ctl.start(QStringLiteral(KV6CTL_PATH), args);
    QByteArray err;
    while (!err.contains("waiting for the module") && ctl.waitForReadyRead(10000)) err += ctl.readAllStandardError();

    QProcess sim;
    sim.start(QStringLiteral(KV6SIM_PATH),
              QStringList{"--connect", QStringLiteral("127.0.0.1:%1").arg(port)} + simOptions);
    RemoteRun run;
    if (!ctl.waitForFinished(120000)) ctl.kill();
    run.ctl.exitCode = ctl.exitStatus() == QProcess::NormalExit ? ctl.exitCode() : -1;
    run.ctl.err = QString::fromUtf8(err + ctl.readAllStandardError());
    // The module saves its memory and ends when the tool hangs up.
    if (!sim.waitForFinished(10000)) {
        sim.terminate();
        sim.waitForFinished(5000);
    }
    run.simExit = sim.exitCode();
    return run;
}

}  // namespace

TEST(Kv6ctlRemote, ReadReturnsTheModulesImage) {
    QTemporaryDir dir;
    const auto module = randomImage(21);
    auto withPassword = module;
    withPassword[244] = 0xA0;  // 41000, above the signed 16-bit range
    withPassword[245] = 0x28;
    writeFile(dir.filePath("module.prg"), withPassword);
    const RemoteRun run = runRemote({"read", "--password", "41000", "--out", dir.filePath("read.prg")},
                                    {"--image", dir.filePath("module.prg"), "--password", "41000", "--object", "1234"});
    ASSERT_EQ(run.ctl.exitCode, 0) << run.ctl.err.toStdString();
    EXPECT_TRUE(run.ctl.err.contains(" Чтение данных завершено"));
    EXPECT_TRUE(run.ctl.err.contains("Удалённый доступ. Объект 1234")) << run.ctl.err.toStdString();
    const QByteArray read = readFile(dir.filePath("read.prg"));
    ASSERT_EQ(read.size(), 4096);
    EXPECT_EQ(read.left(1920), QByteArray(reinterpret_cast<const char*>(withPassword.data()), 1920));
}

TEST(Kv6ctlRemote, WrongPasswordWritesNoFile) {
    QTemporaryDir dir;
    const RemoteRun run =
        runRemote({"read", "--password", "1", "--out", dir.filePath("read.prg")}, {"--password", "0"});
    EXPECT_EQ(run.ctl.exitCode, 1);
    EXPECT_TRUE(run.ctl.err.contains("!!! ОШИБКА чтение данных - Пароль не совпал"));
    EXPECT_FALSE(QFile::exists(dir.filePath("read.prg")));
}

TEST(Kv6ctlRemote, WriteAllChangesExactlyTheTwentyRanges) {
    QTemporaryDir dir;
    const auto before = randomImage(31);
    writeFile(dir.filePath("module.prg"), before);
    writeFile(dir.filePath("input.prg"), randomImage(32));
    const RemoteRun run = runRemote({"write-all", "--password-from-file", dir.filePath("input.prg")},
                                    {"--image", dir.filePath("module.prg"), "--save", dir.filePath("after.prg"),
                                     "--split"});
    ASSERT_EQ(run.ctl.exitCode, 0) << run.ctl.err.toStdString();
    EXPECT_TRUE(run.ctl.err.contains(" Запись данных завершена"));

    kv6::e2e::expectWrittenAll(dir.filePath("input.prg"), before, readFile(dir.filePath("after.prg")));
}

TEST(Kv6ctlRemote, PasswordChangeRefusedThenAcceptedAndReset) {
    QTemporaryDir dir;
    const RemoteRun refused = runRemote({"password", "--old", "7", "--new", "9"}, {"--password", "0"});
    EXPECT_EQ(refused.ctl.exitCode, 1);
    EXPECT_TRUE(refused.ctl.err.contains(" !!!ОШИБКА изменения пароля")) << refused.ctl.err.toStdString();

    const RemoteRun changed = runRemote({"password", "--old", "0", "--new", "65535"},
                                        {"--password", "0", "--save", dir.filePath("after.prg")});
    EXPECT_EQ(changed.ctl.exitCode, 0) << changed.ctl.err.toStdString();
    EXPECT_TRUE(changed.ctl.err.contains(" Пароль на чтение изменён"));
    const QByteArray after = readFile(dir.filePath("after.prg"));
    ASSERT_EQ(after.size(), 4096);
    EXPECT_EQ(static_cast<std::uint8_t>(after[244]), 0xFF);
    EXPECT_EQ(static_cast<std::uint8_t>(after[245]), 0xFF);

    const RemoteRun reset = runRemote({"reset", "--password", "0", "--yes"}, {});
    EXPECT_EQ(reset.ctl.exitCode, 0) << reset.ctl.err.toStdString();
    EXPECT_TRUE(reset.ctl.err.contains(" Настройки модуля приведены к заводским"));
}

TEST(Kv6ctlRemote, NoModuleWithinTheWaitIsExitOne) {
    const CtlResult r =
        runCtl({"reset", "--yes", "--remote", "--listen-port", QString::number(freePort()), "--wait", "1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("no module connected")) << r.err.toStdString();

    QTcpServer taken;  // a port another program listens on: the socket cannot be opened
    ASSERT_TRUE(taken.listen(QHostAddress::Any));
    const QString port = QString::number(taken.serverPort());
    const CtlResult busy = runCtl({"read", "--remote", "--listen-port", port, "--wait", "1", "--out", "x.prg"});
    EXPECT_EQ(busy.exitCode, 3);
    EXPECT_TRUE(busy.err.contains("cannot listen for the module on TCP port " + port + ": ")) << busy.err.toStdString();
}

// A connection that closes at once does not end the wait, and a module that
// identifies itself late gets no frame before it did: its first frame carries
// its object number.
TEST(Kv6ctlRemote, WaitsForAModuleThatIdentifiesItself) {
    e2eApp();
    QTemporaryDir dir;
    const quint16 port = freePort();
    QProcess ctl;
    ctl.setReadChannel(QProcess::StandardError);
    ctl.start(QStringLiteral(KV6CTL_PATH), {"read", "--remote", "--listen-port", QString::number(port), "--wait", "30",
                                            "--out", dir.filePath("read.prg")});
    QByteArray err;
    while (!err.contains("waiting for the module") && ctl.waitForReadyRead(10000)) err += ctl.readAllStandardError();

    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(probe.waitForConnected(5000));
    probe.abort();

    QTcpSocket module;
    module.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(module.waitForConnected(5000));
    QByteArray received;
    while (received.size() < 24 && module.waitForReadyRead(5000)) received += module.readAll();
    ASSERT_EQ(received.size(), 24);  // the greeting
    received.clear();
    while (module.waitForReadyRead(1500)) received += module.readAll();  // silence before the identification
    EXPECT_TRUE(received.isEmpty()) << received.toHex(' ').toStdString();
    EXPECT_EQ(ctl.state(), QProcess::Running);  // the probe did not end the wait

    module.write("#0000000000000SR 1234");
    while (received.size() < 129 && module.waitForReadyRead(5000)) received += module.readAll();
    ASSERT_GE(received.size(), 129);
    EXPECT_EQ(received[0], '~');
    EXPECT_EQ(static_cast<std::uint8_t>(received[1]), 0x12);
    EXPECT_EQ(static_cast<std::uint8_t>(received[2]), 0x34);
    EXPECT_EQ(received[3], 'R');
    ctl.kill();
    ctl.waitForFinished(5000);
}
