#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <map>

#include "commands.h"
#include "common/version.h"
#include "ctl_time_zone.h"

namespace {

// Also the source of the manual page (help2man) and of the shell completion,
// which takes the commands and their options from the usage lines.
const char* const kUsage =
    "Usage: kv6ctl read      (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] --out FILE.prg\n"
    "  or:  kv6ctl write-all (--port DEV | --remote [--listen-port N] [--wait S]) FILE.prg\n"
    "  or:  kv6ctl show      FILE.prg [--json] [--paramp FILE]\n"
    "  or:  kv6ctl set       FILE.prg [--paramp FILE] page.key=VALUE ...\n"
    "  or:  kv6ctl password  (--port DEV | --remote [--listen-port N] [--wait S]) --old N --new M\n"
    "  or:  kv6ctl reset     (--port DEV | --remote [--listen-port N] [--wait S])\n"
    "  or:  kv6ctl journal   FILE.prg [--json] [--parame FILE]\n"
    "  or:  kv6ctl state     FILE.prg\n"
    "  or:  kv6ctl clear-journal (--port DEV | --remote [--listen-port N] [--wait S])\n"
    "Reads the configuration of a KV6 alarm transmission module into a .prg file\n"
    "and writes one back, over a serial cable (--port) or while the module\n"
    "connects in over GPRS (--remote); shows and changes .prg files; changes the\n"
    "module's read password and resets the module to factory settings; shows and\n"
    "clears the event journal.\n"
    "\n"
    "Options:\n"
    "  --port DEV        serial port: a number 1..99 (as in the port dialog) or a\n"
    "                    device path\n"
    "  --remote          wait for the module to connect over GPRS instead\n"
    "  --listen-port N   the TCP port to wait on (default 8099)\n"
    "  --wait S          how many seconds to wait for the module (default 120)\n"
    "  --password N      the module's read password, 0..65535\n"
    "  --out FILE.prg    where the configuration read is saved\n"
    "  --old N, --new M  the current and the new read password\n"
    "  --json            show, journal: print JSON instead of lines\n"
    "  --parame FILE     journal: the event descriptions (default: the tool's parame)\n"
    "  --paramp FILE     show, set: the zone types (default: the tool's paramp)\n"
    "  --time-zone N     1..13 for GMT+01:00 .. GMT+13:00, 0 for none: module times\n"
    "                    are shown and set in that zone (default: the computer's)\n"
    "  --trace           print the protocol trace to stderr\n"
    "  --help            print this text and exit\n"
    "  --version         print the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.first() == "--help" || args.first() == "-h") {
        std::fputs(kUsage, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? 2 : 0;
    }
    if (args.first() == "--version") {
        std::printf("kv6ctl %s\n", kv6::kVersion);
        return 0;
    }
    const std::map<QString, std::function<int(const QStringList&)>> commands = {
        {"read", kv6::ctl::runRead},         {"write-all", kv6::ctl::runWriteAll},
        {"show", kv6::ctl::runShow},         {"set", kv6::ctl::runSet},
        {"password", kv6::ctl::runPassword}, {"reset", kv6::ctl::runReset},
        {"journal", kv6::ctl::runJournal},   {"state", kv6::ctl::runState},
        {"clear-journal", kv6::ctl::runClearJournal},
        {"keys", kv6::ctl::runKeys},  // not in the usage: the shell completion asks it
    };
    // Every command takes --time-zone; the commands read it back through applyRunTimeZone.
    const kv6::ctl::TimeZoneOption zone = kv6::ctl::takeTimeZoneOption(args);
    if (!zone.error.isEmpty()) {
        std::fprintf(stderr, "kv6ctl: %s\n", qPrintable(zone.error));
        return 2;
    }
    args = zone.rest;
    if (args.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString command = args.takeFirst();
    const auto found = commands.find(command);
    if (found == commands.end()) {
        std::fprintf(stderr, "kv6ctl: unknown command '%s'\n%s", qPrintable(command), kUsage);
        return 2;
    }
    return found->second(args);
}
