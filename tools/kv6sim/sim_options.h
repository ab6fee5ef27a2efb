#pragma once

#include <QString>
#include <QStringList>

namespace kv6::sim {

// Everything the command line can set. Parsed once in main, then read-only.
struct SimOptions {
  bool serial = false;
  QString connectHost;  // set with --connect HOST:PORT
  quint16 connectPort = 0;
  QString object = QStringLiteral("0001");
  quint16 password = 0;
  bool passwordIsObject = false;  // --password object: each module's own number
  QString imageFile;
  QString saveFile;
  bool lineRate = false;
  int dropEvery = 0;  // 0 = never drop
  bool split = false;
  bool garbage = false;
  int delayMs = 0;
  int forgetWrite = -1;  // -1 = every write is stored
  bool verbose = false;
  // --connect only: how many modules one process runs, numbered from `object` upward.
  int modules = 1;
  bool reconnect = false;
  int reconnectAfterS = 3;
  QString dumpDir;  // each module's memory is written here as <object>.prg on exit
};

// Outcome of parsing: either options, a request for help or the version, or an error text.
struct ParsedOptions {
  enum class Kind { Run, Help, Version, Error };
  Kind kind = Kind::Error;
  SimOptions options;
  QString error;
};

[[nodiscard]] ParsedOptions parseOptions(const QStringList& arguments);
[[nodiscard]] QString usageText();

}  // namespace kv6::sim
