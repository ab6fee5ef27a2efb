// kv6sim's command line: bad input ends with a usage text and exit code 2.

#include "kv6sim_harness.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

struct SimRun {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

SimRun runSim(const QStringList& arguments) {
  QProcess process;
  kv6sim_test::startSim(process, arguments);
  SimRun run;
  if (!process.waitForFinished(5000)) {
    process.kill();
    process.waitForFinished();
    return run;
  }
  run.exitCode = process.exitCode();
  run.out = process.readAllStandardOutput();
  run.err = process.readAllStandardError();
  return run;
}

TEST(Kv6SimOptions, BadArgumentsPrintUsageAndExitTwo) {
  const QList<QStringList> cases = {
      {},
      {QStringLiteral("--serial"), QStringLiteral("--connect"), QStringLiteral("h:1")},
      {QStringLiteral("--serial"), QStringLiteral("--password"), QStringLiteral("65536")},
      {QStringLiteral("--serial"), QStringLiteral("--password"), QStringLiteral("-1")},
      {QStringLiteral("--serial"), QStringLiteral("--drop-every"), QStringLiteral("0")},
      {QStringLiteral("--serial"), QStringLiteral("--delay"), QStringLiteral("abc")},
      {QStringLiteral("--serial"), QStringLiteral("--bogus")},
      {QStringLiteral("--serial"), QStringLiteral("extra")},
      {QStringLiteral("--connect"), QStringLiteral("nohost")},
      {QStringLiteral("--connect"), QStringLiteral("h:99999")},
      {QStringLiteral("--connect"), QStringLiteral("h:1"), QStringLiteral("--object"), QStringLiteral("12")},
      {QStringLiteral("--serial"), QStringLiteral("--password")},
      {QStringLiteral("--connect"), QStringLiteral("h:1"), QStringLiteral("--modules"), QStringLiteral("0")},
      {QStringLiteral("--connect"), QStringLiteral("h:1"), QStringLiteral("--modules"), QStringLiteral("2"),
       QStringLiteral("--object"), QStringLiteral("AB12")},
      {QStringLiteral("--connect"), QStringLiteral("h:1"), QStringLiteral("--modules"), QStringLiteral("3"),
       QStringLiteral("--object"), QStringLiteral("9998")},
      {QStringLiteral("--connect"), QStringLiteral("h:1"), QStringLiteral("--modules"), QStringLiteral("2"),
       QStringLiteral("--save"), QStringLiteral("x.prg")},
      {QStringLiteral("--connect"), QStringLiteral("h:1"), QStringLiteral("--reconnect-after"), QStringLiteral("2")},
      {QStringLiteral("--connect"), QStringLiteral("h:1"), QStringLiteral("--reconnect"),
       QStringLiteral("--reconnect-after"), QStringLiteral("0")},
      {QStringLiteral("--serial"), QStringLiteral("--modules"), QStringLiteral("2")},
      {QStringLiteral("--serial"), QStringLiteral("--password"), QStringLiteral("object")},
      {QStringLiteral("--connect"), QStringLiteral("h:1"), QStringLiteral("--object"), QStringLiteral("AB12"),
       QStringLiteral("--password"), QStringLiteral("object")},
  };
  for (const QStringList& arguments : cases) {
    const SimRun run = runSim(arguments);
    EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(run.err.contains("Usage:")) << arguments.join(' ').toStdString();
  }
}

TEST(Kv6SimOptions, HelpAndUnreadableImage) {
  const SimRun help = runSim({QStringLiteral("--help")});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.contains("--drop-every"));

  const SimRun missing = runSim({QStringLiteral("--serial"), QStringLiteral("--image"), QStringLiteral("/nonexistent/x.prg")});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_TRUE(missing.err.contains("/nonexistent/x.prg"));
}

TEST(Kv6SimOptions, ShortImageFileReplacesOnlyItsOwnLength) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("short.prg"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("9876");
  file.close();

  QProcess process;
  const QString pty = kv6sim_test::startSerialSim(process, {QStringLiteral("--image"), path});
  ASSERT_FALSE(pty.isEmpty());
  {
    kv6sim_test::PtyPort port(pty);
    port.send(QByteArray::fromHex("49507E424C52443D00002C080D"));  // read 8 at 0
    const QByteArray reply = port.receiveUntil(kv6sim_test::endsWithBlockEnd, 2000);
    EXPECT_TRUE(reply.endsWith(QByteArrayLiteral("9876") + QByteArray(2, '\0') + "00;\r"))
        << reply.toHex(' ').toStdString();
  }
  process.kill();
  process.waitForFinished(3000);
}

}  // namespace
