#include "sim_options.h"

#include <QCommandLineParser>

namespace kv6::sim {
namespace {

// Whole-string decimal in [low, high]; rejects signs, blanks and overflow.
bool parseBounded(const QString& text, long long low, long long high, long long& value) {
  if (text.isEmpty() || text.size() > 9) return false;
  for (const QChar c : text)
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  value = text.toLongLong();
  return value >= low && value <= high;
}

bool validObject(const QString& text) {
  if (text.size() != 4) return false;
  for (const QChar c : text)
    if (!(c >= QLatin1Char('0') && c <= QLatin1Char('9')) &&
        !(c >= QLatin1Char('A') && c <= QLatin1Char('Z')) &&
        !(c >= QLatin1Char('a') && c <= QLatin1Char('z')))
      return false;
  return true;
}

ParsedOptions fail(const QString& text) {
  ParsedOptions result;
  result.kind = ParsedOptions::Kind::Error;
  result.error = text;
  return result;
}

}  // namespace

QString usageText() {
  return QStringLiteral(
      "Usage: kv6sim --serial [options]\n"
      "  or:  kv6sim --connect HOST:PORT [--object NNNN] [--modules N] [options]\n"
      "\n"
      "A simulated alarm transmission module with 4096 bytes of memory.\n"
      "\n"
      "Modes (exactly one):\n"
      "  --serial            create a pseudo-terminal and answer the serial command\n"
      "                      protocol on it; the slave device path is the first\n"
      "                      line printed on stdout\n"
      "  --connect HOST:PORT\n"
      "                      connect to the tool's remote access server as a\n"
      "                      module does and answer its 129-byte frames; exits 0\n"
      "                      when the tool closes the connection\n"
      "\n"
      "Options:\n"
      "  --object NNNN       object number sent in the identification text\n"
      "                      (four letters or digits, default 0001)\n"
      "  --password N        read password 0..65535 stored at bytes 244-245 of the\n"
      "                      factory image (default 0); with --connect, \"object\"\n"
      "                      gives each module its own object number as its\n"
      "                      password (0001 reads as 1), kept even over an --image\n"
      "  --image FILE.prg    start from this image instead of the factory one (a\n"
      "                      shorter file replaces only its own length)\n"
      "  --save FILE.prg     write the 4096 bytes of memory to FILE on exit,\n"
      "                      SIGINT and SIGTERM included\n"
      "  --line-rate         serial: carry the line at 9600 baud both ways: answers\n"
      "                      go out at that rate, and a frame from the tool counts\n"
      "                      as received when its last byte would have arrived\n"
      "  --drop-every N      carry out every Nth complete frame but lose its answer\n"
      "  --split             serial: send each answer in two pieces 400 ms apart (a\n"
      "                      read answer is cut between ';' and the carriage return,\n"
      "                      so the tool never sees the block end);\n"
      "                      TCP: cut the identification text and each answer\n"
      "                      across two writes 50 ms apart\n"
      "  --garbage           serial: send noise a few hundred ms after each answer\n"
      "  --delay MS          wait MS milliseconds before each answer\n"
      "  --forget-write ADDR acknowledge a write starting at ADDR (0..4095) but\n"
      "                      do not store it\n"
      "  --verbose           log every frame and answer to stderr in hex\n"
      "  --help              show this text\n"
      "  --version           show the version\n"
      "\n"
      "Many modules (--connect only):\n"
      "  --modules N         run N modules (1..9999) in this one process, numbered\n"
      "                      from --object upward (which must then be four digits);\n"
      "                      with N above 1 each module's number is also written to\n"
      "                      its memory at bytes 0-5, where the module keeps it.\n"
      "                      Every module has its own memory, starts from the same\n"
      "                      image and --password (unless \"--password object\"),\n"
      "                      and gets the same faults. Exits when every module's\n"
      "                      connection has ended: 0 when the tool closed them all,\n"
      "                      1 when any failed. Each module needs an open file: the\n"
      "                      soft limit is raised to the hard one, and too low a\n"
      "                      hard limit stops the start\n"
      "  --reconnect         a module whose connection is refused or ends calls\n"
      "                      again after --reconnect-after seconds, as a module in\n"
      "                      the field does; the process then runs until a signal\n"
      "  --reconnect-after S\n"
      "                      seconds 1..3600 before calling again (default 3), plus\n"
      "                      up to a quarter more at random, so that many modules\n"
      "                      do not all call at once\n"
      "  --dump-dir DIR      write each module's 4096 bytes to DIR/<object>.prg on\n"
      "                      exit, SIGINT and SIGTERM included\n"
      "\n"
      "A factory reset (IP~KILL= or 'K') restores the factory image, the read\n"
      "password included: it becomes 0, not the --password value.\n");
}

ParsedOptions parseOptions(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption serial(QStringLiteral("serial"));
  const QCommandLineOption connect(QStringLiteral("connect"), {}, QStringLiteral("HOST:PORT"));
  const QCommandLineOption object(QStringLiteral("object"), {}, QStringLiteral("NNNN"));
  const QCommandLineOption password(QStringLiteral("password"), {}, QStringLiteral("N"));
  const QCommandLineOption image(QStringLiteral("image"), {}, QStringLiteral("FILE"));
  const QCommandLineOption save(QStringLiteral("save"), {}, QStringLiteral("FILE"));
  const QCommandLineOption lineRate(QStringLiteral("line-rate"));
  const QCommandLineOption dropEvery(QStringLiteral("drop-every"), {}, QStringLiteral("N"));
  const QCommandLineOption split(QStringLiteral("split"));
  const QCommandLineOption garbage(QStringLiteral("garbage"));
  const QCommandLineOption delay(QStringLiteral("delay"), {}, QStringLiteral("MS"));
  const QCommandLineOption verbose(QStringLiteral("verbose"));
  const QCommandLineOption forgetWrite(QStringLiteral("forget-write"), {}, QStringLiteral("ADDR"));
  const QCommandLineOption modules(QStringLiteral("modules"), {}, QStringLiteral("N"));
  const QCommandLineOption reconnect(QStringLiteral("reconnect"));
  const QCommandLineOption reconnectAfter(QStringLiteral("reconnect-after"), {}, QStringLiteral("S"));
  const QCommandLineOption dumpDir(QStringLiteral("dump-dir"), {}, QStringLiteral("DIR"));
  const QCommandLineOption help(QStringLiteral("help"));
  const QCommandLineOption version(QStringLiteral("version"));
  parser.addOptions({serial, connect, object, password, image, save, lineRate, dropEvery, split,
                     garbage, delay, verbose, forgetWrite, modules, reconnect, reconnectAfter, dumpDir,
                     help, version});

  if (!parser.parse(arguments)) return fail(parser.errorText());
  if (parser.isSet(help)) {
    ParsedOptions result;
    result.kind = ParsedOptions::Kind::Help;
    return result;
  }
  if (parser.isSet(version)) {
    ParsedOptions result;
    result.kind = ParsedOptions::Kind::Version;
    return result;
  }
  if (!parser.positionalArguments().isEmpty())
    return fail(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()));
  // Repeating a value option is most likely a mistake in a script; refuse it.
  for (const auto* option : {&connect, &object, &password, &image, &save, &dropEvery, &delay, &forgetWrite,
                             &modules, &reconnectAfter, &dumpDir})
    if (parser.values(*option).size() > 1)
      return fail(QStringLiteral("--%1 given more than once").arg(option->names().first()));

  SimOptions o;
  o.serial = parser.isSet(serial);
  if (o.serial == parser.isSet(connect))
    return fail(QStringLiteral("give exactly one of --serial and --connect"));

  if (parser.isSet(connect)) {
    const QString target = parser.value(connect);
    const qsizetype colon = target.lastIndexOf(QLatin1Char(':'));
    long long port = 0;
    if (colon <= 0 || !parseBounded(target.mid(colon + 1), 1, 65535, port))
      return fail(QStringLiteral("--connect needs HOST:PORT, got \"%1\"").arg(target));
    o.connectHost = target.left(colon);
    o.connectPort = static_cast<quint16>(port);
  }
  if (parser.isSet(object)) {
    if (!validObject(parser.value(object)))
      return fail(QStringLiteral("--object needs four letters or digits, got \"%1\"")
                      .arg(parser.value(object)));
    o.object = parser.value(object);
  }
  long long number = 0;
  if (parser.isSet(password) && parser.value(password) == QStringLiteral("object")) {
    long long objectNumber = 0;
    if (o.serial || !parseBounded(o.object, 0, 9999, objectNumber))
      return fail(QStringLiteral("--password object needs --connect and a four-digit --object"));
    o.passwordIsObject = true;
  } else if (parser.isSet(password)) {
    if (!parseBounded(parser.value(password), 0, 65535, number))
      return fail(QStringLiteral("--password needs a number 0..65535"));
    o.password = static_cast<quint16>(number);
  }
  if (parser.isSet(dropEvery)) {
    if (!parseBounded(parser.value(dropEvery), 1, 1000000, number))
      return fail(QStringLiteral("--drop-every needs a number 1..1000000"));
    o.dropEvery = static_cast<int>(number);
  }
  if (parser.isSet(delay)) {
    if (!parseBounded(parser.value(delay), 0, 600000, number))
      return fail(QStringLiteral("--delay needs milliseconds 0..600000"));
    o.delayMs = static_cast<int>(number);
  }
  if (parser.isSet(forgetWrite)) {
    if (!parseBounded(parser.value(forgetWrite), 0, 4095, number))
      return fail(QStringLiteral("--forget-write needs an address 0..4095"));
    o.forgetWrite = static_cast<int>(number);
  }
  o.imageFile = parser.value(image);
  o.saveFile = parser.value(save);
  if ((parser.isSet(image) && o.imageFile.isEmpty()) || (parser.isSet(save) && o.saveFile.isEmpty()))
    return fail(QStringLiteral("--image and --save need a file name"));
  if (parser.isSet(modules) || parser.isSet(reconnect) || parser.isSet(reconnectAfter) || parser.isSet(dumpDir)) {
    if (o.serial) return fail(QStringLiteral("--modules, --reconnect and --dump-dir go with --connect"));
  }
  if (parser.isSet(modules)) {
    if (!parseBounded(parser.value(modules), 1, 9999, number))
      return fail(QStringLiteral("--modules needs a number 1..9999"));
    o.modules = static_cast<int>(number);
  }
  if (o.modules > 1) {
    long long first = 0;
    if (!parseBounded(o.object, 0, 9999, first))
      return fail(QStringLiteral("--modules numbers the modules from --object, which must be four digits"));
    if (first + o.modules - 1 > 9999)
      return fail(QStringLiteral("%1 modules from object %2 would go past 9999").arg(o.modules).arg(o.object));
    if (parser.isSet(save))
      return fail(QStringLiteral("--save keeps one module's memory; use --dump-dir with --modules"));
  }
  o.reconnect = parser.isSet(reconnect);
  if (parser.isSet(reconnectAfter)) {
    if (!o.reconnect) return fail(QStringLiteral("--reconnect-after goes with --reconnect"));
    if (!parseBounded(parser.value(reconnectAfter), 1, 3600, number))
      return fail(QStringLiteral("--reconnect-after needs seconds 1..3600"));
    o.reconnectAfterS = static_cast<int>(number);
  }
  o.dumpDir = parser.value(dumpDir);
  if (parser.isSet(dumpDir) && o.dumpDir.isEmpty()) return fail(QStringLiteral("--dump-dir needs a folder"));
  o.lineRate = parser.isSet(lineRate);
  o.split = parser.isSet(split);
  o.garbage = parser.isSet(garbage);
  o.verbose = parser.isSet(verbose);

  ParsedOptions result;
  result.kind = ParsedOptions::Kind::Run;
  result.options = o;
  return result;
}

}  // namespace kv6::sim
