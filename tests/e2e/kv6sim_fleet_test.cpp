// Many modules in one kv6sim process calling one listener; the test plays the
// tool's remote access server for all of them.

#include "kv6sim_harness.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <csignal>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <thread>

namespace {

QByteArray receive(QTcpSocket& socket, qsizetype count, int timeoutMs = 3000) {
  QByteArray received;
  QElapsedTimer clock;
  clock.start();
  while (received.size() < count && clock.elapsed() < timeoutMs) {
    socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, timeoutMs - clock.elapsed())));
    received += socket.readAll();
  }
  return received;
}

QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SimulatedFleet : public ::testing::Test {
 protected:
  void TearDown() override {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.kill();
      m_process.waitForFinished(3000);
    }
  }
  void start(QStringList arguments, quint16 port) {
    arguments << QStringLiteral("--connect") << QStringLiteral("127.0.0.1:%1").arg(port);
    kv6sim_test::startSim(m_process, arguments);
  }
  // Accepts `count` modules, greets each and files it under the object number
  // of its identification (characters 18 to 21).
  void accept(int count, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
      if (!m_server.hasPendingConnections())
        m_server.waitForNewConnection(static_cast<int>(std::max<qint64>(1, timeoutMs - clock.elapsed())));
      QTcpSocket* socket = m_server.nextPendingConnection();
      ASSERT_NE(socket, nullptr) << "module " << i + 1 << " of " << count << " did not call; "
                                 << m_process.readAllStandardError().toStdString();
      socket->write(QByteArray(24, '\0'));
      const QByteArray identification = receive(*socket, 21);
      ASSERT_EQ(identification.size(), 21) << identification.toStdString();
      ASSERT_EQ(identification.left(17), QByteArrayLiteral("#0000000000000SR "));
      m_modules[identification.mid(17, 4)].reset(socket);
    }
  }
  QByteArray request(const QByteArray& object, const QByteArray& bytes, qsizetype replySize) {
    QTcpSocket& socket = *m_modules.at(object);
    socket.write(bytes);
    return receive(socket, replySize);
  }

  QTcpServer m_server;
  QProcess m_process;
  std::map<QByteArray, std::unique_ptr<QTcpSocket>> m_modules;
};

TEST_F(SimulatedFleet, EachModuleCallsWithItsOwnNumberAndMemoryAndAllAreDumpedWhenTheToolCloses) {
  QTemporaryDir dir;
  ASSERT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
  start({"--modules", "3", "--object", "0998", "--password", "258", "--dump-dir", dir.filePath("dump")},
        m_server.serverPort());
  accept(3);
  ASSERT_EQ(m_modules.size(), 3u);
  for (const QByteArray object : {"0998", "0999", "1000"}) {
    ASSERT_TRUE(m_modules.contains(object)) << object.toStdString();
    const QByteArray start = request(object, kv6sim_test::remoteFrame('R', 0, 128), 136);
    EXPECT_EQ(start.mid(8, 6), object + QByteArray(2, '\0'));
  }
  EXPECT_EQ(request("0999", kv6sim_test::remoteFrame('W', 300, 2, "ok"), 8).mid(3, 1), QByteArrayLiteral("W"));
  EXPECT_EQ(request("1000", kv6sim_test::remoteFrame('P', 0, 0, QByteArray::fromHex("01020505")), 8).mid(3, 1), QByteArrayLiteral("P"));

  for (auto& [object, socket] : m_modules) socket->disconnectFromHost();
  ASSERT_TRUE(m_process.waitForFinished(5000));
  EXPECT_EQ(m_process.exitCode(), 0);
  const QByteArray first = fileBytes(dir.filePath("dump/0998.prg"));
  const QByteArray written = fileBytes(dir.filePath("dump/0999.prg"));
  const QByteArray newPassword = fileBytes(dir.filePath("dump/1000.prg"));
  ASSERT_EQ(first.size(), 4096);
  ASSERT_EQ(written.size(), 4096);
  ASSERT_EQ(newPassword.size(), 4096);
  EXPECT_EQ(written.mid(300, 2), QByteArrayLiteral("ok"));
  EXPECT_EQ(written.left(6), QByteArrayLiteral("0999") + QByteArray(2, '\0'));
  EXPECT_NE(first.mid(300, 2), QByteArrayLiteral("ok"));
  EXPECT_EQ(first.mid(244, 2), QByteArray::fromHex("0102"));
  EXPECT_EQ(newPassword.mid(244, 2), QByteArray::fromHex("0505"));
  EXPECT_EQ(newPassword.left(6), QByteArrayLiteral("1000") + QByteArray(2, '\0'));
}

TEST_F(SimulatedFleet, ReconnectCallsAgainAfterARefusalAndAfterADropWithMemoryKept) {
  ASSERT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
  const quint16 port = m_server.serverPort();
  m_server.close();  // the first calls are refused
  start({"--modules", "2", "--password", "object", "--reconnect", "--reconnect-after", "1"}, port);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(m_server.listen(QHostAddress::LocalHost, port));
  accept(2, 3000);
  ASSERT_TRUE(m_modules.contains("0001"));
  ASSERT_TRUE(m_modules.contains("0002"));
  EXPECT_EQ(request("0002", kv6sim_test::remoteFrame('W', 300, 2, "ok"), 8).mid(3, 1), QByteArrayLiteral("W"));

  QElapsedTimer clock;
  clock.start();
  m_modules.at("0002")->abort();
  m_modules.erase("0002");
  accept(1, 3000);
  EXPECT_GE(clock.elapsed(), 900);
  ASSERT_TRUE(m_modules.contains("0002"));
  const QByteArray block = request("0002", kv6sim_test::remoteFrame('R', 128, 128), 136);
  EXPECT_EQ(block.mid(8 + 116, 2), QByteArray::fromHex("0002"));  // its own number as password
  EXPECT_EQ(request("0002", kv6sim_test::remoteFrame('R', 256, 128), 136).mid(8 + 44, 2), QByteArrayLiteral("ok"));

  // A write that gives it another object number: the module calls in with that one.
  const QByteArray renumbered("0042\0\0", 6);
  EXPECT_EQ(request("0002", kv6sim_test::remoteFrame('W', 0, 6, renumbered), 8).mid(3, 1), QByteArrayLiteral("W"));
  m_modules.at("0002")->abort();
  m_modules.erase("0002");
  accept(1, 3000);
  EXPECT_TRUE(m_modules.contains("0042"));
}

TEST_F(SimulatedFleet, ModulesRefusedTogetherAreReportedInOneLine) {
  ASSERT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
  const quint16 port = m_server.serverPort();
  m_server.close();
  start({"--modules", "40", "--object", "0100"}, port);
  ASSERT_TRUE(m_process.waitForFinished(5000));
  EXPECT_EQ(m_process.exitCode(), 1);
  EXPECT_EQ(m_process.readAllStandardError(), "kv6sim: 40 modules (0100 to 0139): Connection refused\n");
}

TEST_F(SimulatedFleet, TooFewOpenFilesForTheModulesIsSaidBeforeAnyCall) {
  m_process.setChildProcessModifier([] {
    const rlimit low{64, 64};
    setrlimit(RLIMIT_NOFILE, &low);
  });
  start({"--modules", "100"}, 9);
  ASSERT_TRUE(m_process.waitForFinished(5000));
  EXPECT_EQ(m_process.exitCode(), 1);
  EXPECT_TRUE(m_process.readAllStandardError().contains(
      "kv6sim: 100 modules need about 132 open files, but this process may open only 64 (its hard limit)"));
}

}  // namespace
