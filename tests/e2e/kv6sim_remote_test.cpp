// kv6sim calling in over TCP: the test plays the tool's remote access server.

#include "kv6sim_harness.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>
#include <random>

namespace {

class RemoteSim : public ::testing::Test {
 protected:
  void start(QStringList arguments = {}) {
    ASSERT_TRUE(m_server.listen(QHostAddress::LocalHost, 0));
    arguments << QStringLiteral("--connect") << QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort());
    kv6sim_test::startSim(m_process, arguments);
    ASSERT_TRUE(m_server.waitForNewConnection(5000)) << m_process.readAllStandardError().toStdString();
    m_module = m_server.nextPendingConnection();
    m_module->write(QByteArray(24, '\0'));  // greeting: zeros and a time of 0
    m_identification = receive(21);
  }
  void TearDown() override {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.kill();
      m_process.waitForFinished(3000);
    }
  }
  // Waits for at least `count` bytes (or the time to run out) and takes them all.
  QByteArray receive(qsizetype count, int timeoutMs = 2000) {
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (received.size() < count && clock.elapsed() < timeoutMs) {
      m_module->waitForReadyRead(static_cast<int>(std::max<qint64>(1, timeoutMs - clock.elapsed())));
      received += m_module->readAll();
    }
    return received;
  }
  QByteArray receiveFor(int ms) { return receive(1 << 20, ms); }

  QTcpServer m_server;
  QTcpSocket* m_module = nullptr;
  QProcess m_process;
  QByteArray m_identification;
};

TEST_F(RemoteSim, IdentificationCarriesTheObjectNumberAtCharacterEighteen) {
  start({QStringLiteral("--object"), QStringLiteral("4321")});
  ASSERT_GE(m_identification.size(), 21);
  const qsizetype zero = m_identification.indexOf('\0');
  const QByteArray searched = zero < 0 ? m_identification : m_identification.left(zero);
  EXPECT_TRUE(searched.contains("SR"));
  EXPECT_EQ(searched.mid(17, 4), QByteArrayLiteral("4321"));
  EXPECT_FALSE(searched.contains("ADM"));
}

TEST_F(RemoteSim, ReadReplyEchoesTheHeaderAndCarries128BytesPaddedPastTheEnd) {
  start();
  m_module->write(kv6sim_test::remoteFrame('W', 4090, 6, QByteArrayLiteral("ABCDEF")));
  EXPECT_EQ(receive(8).size(), 8);
  m_module->write(kv6sim_test::remoteFrame('R', 4032, 128));
  const QByteArray reply = receive(136);
  ASSERT_EQ(reply.size(), 136);
  EXPECT_EQ(reply.left(8), QByteArray::fromHex("7E1234520FC08000"));
  EXPECT_EQ(reply.mid(8 + 58, 6), QByteArrayLiteral("ABCDEF"));
  EXPECT_EQ(reply.mid(8 + 64), QByteArray(64, static_cast<char>(0xFF)));

  m_module->write(kv6sim_test::remoteFrame('R', 0, 128));
  EXPECT_EQ(receive(136).mid(8, 4), QByteArrayLiteral("0001"));
}

TEST_F(RemoteSim, WriteWithBadCheckByteOrOverlongDataIsIgnored) {
  start();
  const QByteArray data = QByteArray::fromHex("010204");
  m_module->write(kv6sim_test::remoteFrame('W', 1049, 3, data, 0x06));  // right XOR is 07
  m_module->write(kv6sim_test::remoteFrame('W', 0, 121, QByteArray(121, 'x')));
  EXPECT_TRUE(receiveFor(300).isEmpty());
  m_module->write(kv6sim_test::remoteFrame('R', 1024, 128));
  EXPECT_NE(receive(136).mid(8 + 25, 3), data);

  m_module->write(kv6sim_test::remoteFrame('W', 1049, 3, data));
  EXPECT_EQ(receive(8), QByteArray::fromHex("7E12345704190307"));
  m_module->write(kv6sim_test::remoteFrame('R', 1024, 128));
  EXPECT_EQ(receive(136).mid(8 + 25, 3), data);
}

TEST_F(RemoteSim, PasswordChangeIsRefusedWith0xE0UnlessTheCurrentOneMatches) {
  start({QStringLiteral("--password"), QStringLiteral("258")});  // 0x0102
  m_module->write(kv6sim_test::remoteFrame('P', 0, 0, QByteArray::fromHex("00000505")));
  const QByteArray refused = receive(8);
  ASSERT_EQ(refused.size(), 8);
  EXPECT_EQ(static_cast<unsigned char>(refused[3]), 0xE0);

  m_module->write(kv6sim_test::remoteFrame('P', 0, 0, QByteArray::fromHex("01020505")));
  EXPECT_EQ(receive(8).mid(3, 1), QByteArrayLiteral("P"));
  m_module->write(kv6sim_test::remoteFrame('R', 128, 128));
  EXPECT_EQ(receive(136).mid(8 + 116, 2), QByteArray::fromHex("0505"));

  m_module->write(kv6sim_test::remoteFrame('K', 0, 0));
  EXPECT_EQ(receive(8).mid(3, 1), QByteArrayLiteral("K"));
  m_module->write(kv6sim_test::remoteFrame('R', 128, 128));
  EXPECT_EQ(receive(136).mid(8 + 116, 2), QByteArray::fromHex("0000"));
}

TEST_F(RemoteSim, KeepAliveGetsNothingAndClosingSavesAndExitsZero) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("remote.prg"));
  start({QStringLiteral("--save"), file, QStringLiteral("--split")});
  QByteArray keepAlive(129, '\0');
  keepAlive[0] = '~';
  keepAlive[128] = ';';
  m_module->write(keepAlive);
  EXPECT_TRUE(receiveFor(200).isEmpty());
  m_module->write(kv6sim_test::remoteFrame('W', 300, 2, QByteArrayLiteral("ok")));
  EXPECT_EQ(receive(8).size(), 8);  // two halves 50 ms apart, put together here

  m_module->disconnectFromHost();
  ASSERT_TRUE(m_process.waitForFinished(5000));
  EXPECT_EQ(m_process.exitCode(), 0);
  QFile saved(file);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll().mid(300, 2), QByteArrayLiteral("ok"));
}

TEST_F(RemoteSim, SurvivesRandomBytesAndStillAnswers) {
  start();
  std::mt19937 random(77);
  QByteArray junk;
  for (int i = 0; i < 4000; ++i) {
    const unsigned kind = random() % 8;
    if (kind == 0)
      junk += '~';
    else if (kind == 1)
      junk += ';';
    else
      junk += static_cast<char>(random() % 256);
  }
  m_module->write(junk);
  m_module->write(QByteArray(129, 'z'));  // lets a half-open candidate be judged
  (void)receiveFor(500);
  m_module->write(kv6sim_test::remoteFrame('R', 0, 128));
  const QByteArray reply = receive(136, 3000);
  const qsizetype at = reply.indexOf(QByteArray::fromHex("7E12345200008000"));
  ASSERT_GE(at, 0) << reply.size();
  EXPECT_EQ(reply.mid(at + 8, 4), QByteArrayLiteral("0001"));
}

}  // namespace
