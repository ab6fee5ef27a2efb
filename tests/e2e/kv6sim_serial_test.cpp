// kv6sim on its pseudo-terminal: frames written as bytes from the protocol
// tables, answers checked byte by byte.

#include "kv6sim_harness.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <random>

using kv6sim_test::PtyPort;
using kv6sim_test::startSerialSim;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

// "IP~BLRD=" address ',' count CR
QByteArray readFrame(int address, int count) {
  QByteArray frame = QByteArrayLiteral("IP~BLRD=");
  frame += static_cast<char>(address >> 8);
  frame += static_cast<char>(address & 0xFF);
  frame += ',';
  frame += static_cast<char>(count);
  frame += '\r';
  return frame;
}

// Waits for "text ',' n bytes ';' CR" and returns the n data bytes, or a
// marker text when the answer is missing or malformed.
QByteArray readBlock(const PtyPort& port, int count, int timeoutMs = 2000) {
  const QByteArray reply = port.receiveUntil(
      [count](const QByteArray& r) {
        const qsizetype comma = r.indexOf(',');
        return comma >= 0 && r.size() >= comma + 1 + count + 2;
      },
      timeoutMs);
  const qsizetype comma = reply.indexOf(',');
  if (comma < 0) return QByteArrayLiteral("<no answer>");
  if (reply.size() != comma + 1 + count + 2 || !reply.endsWith(";\r"))
    return QByteArrayLiteral("<malformed: ") + reply.toHex(' ') + '>';
  return reply.mid(comma + 1, count);
}

class SerialSim : public ::testing::Test {
 protected:
  void start(const QStringList& arguments = {}) {
    const QString path = startSerialSim(m_process, arguments);
    ASSERT_FALSE(path.isEmpty()) << m_process.readAllStandardError().toStdString();
    m_port = std::make_unique<PtyPort>(path);
    ASSERT_TRUE(m_port->isOpen());
  }
  void TearDown() override {
    m_port.reset();
    if (m_process.state() != QProcess::NotRunning) {
      m_process.kill();
      m_process.waitForFinished(3000);
    }
  }
  const PtyPort& port() const { return *m_port; }

  QProcess m_process;
  std::unique_ptr<PtyPort> m_port;
};

TEST_F(SerialSim, ReadAnswersTextCommaDataSemicolonCrFromFactoryImage) {
  start();
  port().send(hex("49507E424C52443D00002C0A0D"));  // read 10 bytes at 0
  const QByteArray reply = port().receiveUntil(kv6sim_test::endsWithBlockEnd, 2000);
  const qsizetype comma = reply.indexOf(',');
  ASSERT_GE(comma, 0) << reply.toHex(' ').toStdString();
  EXPECT_EQ(reply.size(), comma + 1 + 10 + 2);
  EXPECT_EQ(reply.mid(comma + 1, 10), hex("30303031000030303031"));  // object "0001", receiver "0001"
  EXPECT_TRUE(reply.endsWith(";\r"));

  // Past the end of memory the module answers 0xFF.
  port().send(readFrame(4094, 4));
  EXPECT_EQ(readBlock(port(), 4).right(2), hex("FFFF"));
}

TEST_F(SerialSim, WrittenBytesReadBackIntactEvenWithSeparatorsInTheData) {
  start();
  // Data bytes hold ',', ';', CR and even a command word: only the length counts.
  const QByteArray data = hex("2C3B0D49507E0D2C");
  port().send(hex("49507E424C57523D0BB82C082C") + data + hex("0D"));  // write 8 bytes at 3000
  EXPECT_TRUE(port().receiveUntil([](const QByteArray& r) { return r.contains("\r\n"); }, 2000).contains("~W="));
  port().send(readFrame(3000, 8));
  EXPECT_EQ(readBlock(port(), 8), data);

  // A frame arriving in pieces, with junk before it, is still assembled.
  port().send(QByteArrayLiteral("xx\x01IP~BL"));
  (void)port().receiveFor(50);
  port().send(hex("57523D000C2C022C"));
  (void)port().receiveFor(50);
  port().send(hex("41420D"));  // "AB" at 12, then CR
  EXPECT_TRUE(port().receiveUntil([](const QByteArray& r) { return r.contains("\r\n"); }, 2000).contains("~W="));
  port().send(readFrame(10, 4));
  EXPECT_EQ(readBlock(port(), 4), QByteArrayLiteral("00AB"));

  // A write frame cut short must not swallow the module: once the line has
  // been quiet for a while, the read behind it is found and answered.
  port().send(hex("49507E424C57523D00002CFF2C3132") + readFrame(0, 4));
  EXPECT_EQ(readBlock(port(), 4, 3000), QByteArrayLiteral("0001"));
}

TEST_F(SerialSim, PasswordChangeNeedsTheCurrentPasswordAndResetRestoresZero) {
  start({QStringLiteral("--password"), QStringLiteral("4660")});  // 0x1234
  port().send(readFrame(244, 2));
  EXPECT_EQ(readBlock(port(), 2), hex("1234"));

  port().send(hex("49507E505353573D0000BEEF0D"));  // wrong current password
  EXPECT_TRUE(port().receiveFor(300).isEmpty());

  port().send(hex("49507E505353573D1234BEEF0D"));
  EXPECT_TRUE(port().receiveUntil([](const QByteArray& r) { return r.contains("PSSW"); }, 2000).contains("PSSW"));
  (void)port().receiveFor(50);
  port().send(readFrame(244, 2));
  EXPECT_EQ(readBlock(port(), 2), hex("BEEF"));

  port().send(hex("49507E4B494C4C3D0D"));
  EXPECT_TRUE(port().receiveUntil([](const QByteArray& r) { return r.contains("KILL"); }, 2000).contains("KILL"));
  (void)port().receiveFor(50);
  port().send(readFrame(244, 2));
  EXPECT_EQ(readBlock(port(), 2), hex("0000"));
}

TEST_F(SerialSim, SaveWritesTheMemoryOnSigterm) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("saved.prg"));
  start({QStringLiteral("--save"), file});
  port().send(hex("49507E424C57523D01002C032C0A0B0C0D"));  // 0A 0B 0C at 256
  EXPECT_TRUE(port().receiveUntil([](const QByteArray& r) { return r.contains("\r\n"); }, 2000).contains("~W="));
  m_process.terminate();
  ASSERT_TRUE(m_process.waitForFinished(5000));
  EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(m_process.exitCode(), 0);
  QFile saved(file);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray image = saved.readAll();
  ASSERT_EQ(image.size(), 4096);
  EXPECT_EQ(image.mid(256, 3), hex("0A0B0C"));
  EXPECT_EQ(image.left(4), QByteArrayLiteral("0001"));
}

TEST_F(SerialSim, DropEveryTwoLosesTheSecondAnswerOnly) {
  start({QStringLiteral("--drop-every"), QStringLiteral("2")});
  port().send(readFrame(0, 4));
  EXPECT_EQ(readBlock(port(), 4), QByteArrayLiteral("0001"));
  port().send(readFrame(0, 4));
  EXPECT_TRUE(port().receiveFor(300).isEmpty());
  port().send(readFrame(0, 4));
  EXPECT_EQ(readBlock(port(), 4), QByteArrayLiteral("0001"));
}

TEST_F(SerialSim, SplitPartsSemicolonAndCarriageReturnButKeepsAcknowledgementsWhole) {
  start({QStringLiteral("--split")});
  port().send(readFrame(0, 4));
  const QByteArray first = port().receiveUntil([](const QByteArray& r) { return r.endsWith(';'); }, 2000);
  EXPECT_TRUE(first.endsWith("0001;"));
  EXPECT_TRUE(port().receiveFor(200).isEmpty());  // the pause before the CR
  EXPECT_EQ(port().receiveUntil([](const QByteArray& r) { return !r.isEmpty(); }, 1000), QByteArrayLiteral("\r"));

  port().send(hex("49507E424C57523D01002C012C550D"));
  const QByteArray ack = port().receiveUntil([](const QByteArray& r) { return !r.isEmpty(); }, 2000);
  EXPECT_TRUE(ack.contains("~W=")) << ack.toStdString();
}

TEST_F(SerialSim, LineRatePacesABlockAtNineThousandSixHundredBaud) {
  start({QStringLiteral("--line-rate")});
  const auto begin = std::chrono::steady_clock::now();
  port().send(readFrame(0, 200));
  EXPECT_EQ(readBlock(port(), 200).size(), 200);
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(took, std::chrono::milliseconds(180));  // ~206 bytes at 1.04 ms each
}

TEST_F(SerialSim, GarbageBetweenAnswersHoldsNoProtocolText) {
  start({QStringLiteral("--garbage")});
  port().send(readFrame(0, 4));
  EXPECT_EQ(readBlock(port(), 4), QByteArrayLiteral("0001"));
  const QByteArray noise = port().receiveFor(800);
  EXPECT_FALSE(noise.isEmpty());
  for (const char* forbidden : {"IP~", "~W=", "PSSW", "KILL", ",", ";", "\r"})
    EXPECT_FALSE(noise.contains(forbidden)) << forbidden;
}

TEST_F(SerialSim, SurvivesRandomStreamsAndStillAnswers) {
  start();
  std::mt19937 random(20240611);
  const char* words[] = {"IP~BLRD=", "IP~BLWR=", "IP~PSSW=", "IP~KILL=", "IP~SWVR?", "IP~", "IP", "I"};
  QByteArray stream;
  for (int i = 0; i < 3000; ++i) {
    switch (random() % 4) {
      case 0:
        stream += words[random() % 8];
        break;
      case 1:
        stream += readFrame(static_cast<int>(random() % 5000), static_cast<int>(random() % 256));
        break;
      default:
        for (unsigned n = random() % 12; n > 0; --n) stream += static_cast<char>(random() % 256);
    }
  }
  // Filler without 'I' lets any half-open write frame complete and be judged.
  stream += QByteArray(300, 'z');
  for (qsizetype at = 0; at < stream.size();) {
    const qsizetype piece = 1 + static_cast<qsizetype>(random() % 700);
    port().send(stream.mid(at, piece));
    at += piece;
    (void)port().receiveFor(1);  // keep the answers flowing
  }
  (void)port().receiveFor(600);
  ASSERT_EQ(m_process.state(), QProcess::Running);
  port().send(readFrame(0, 4));
  const QByteArray data = readBlock(port(), 4, 3000);
  EXPECT_EQ(data.size(), 4) << data.toStdString();
}

}  // namespace
