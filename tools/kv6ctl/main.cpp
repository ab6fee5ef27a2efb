#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <map>

#include "commands.h"
#include "ctl_time_zone.h"

namespace {

const char* const kUsage =
    "usage: kv6ctl COMMAND [options]\n"
    "  read      (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] --out FILE.prg\n"
    "  write-all (--port DEV | --remote [--listen-port N] [--wait S]) FILE.prg\n"
    "  show      FILE.prg [--json]\n"
    "  set       FILE.prg page.key=VALUE ...\n"
    "  password  (--port DEV | --remote [--listen-port N] [--wait S]) --old N --new M\n"
    "  reset     (--port DEV | --remote [--listen-port N] [--wait S])\n"
    "  journal   FILE.prg [--json] [--parame FILE]\n"
    "  state     FILE.prg\n"
    "  clear-journal (--port DEV | --remote [--listen-port N] [--wait S])\n"
    "DEV is a port number 1..99 (as in the port dialog) or a device path.\n"
    "--trace prints the protocol trace to stderr.\n"
    "--time-zone N (1..13 for GMT+01:00 .. GMT+13:00, 0 for none) shows and sets module times in that zone;\n"
    "by default the zone follows the computer's, as the desktop tool's does.\n";

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.first() == "--help" || args.first() == "-h") {
        std::fputs(kUsage, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? 2 : 0;
    }
    const std::map<QString, std::function<int(const QStringList&)>> commands = {
        {"read", kv6::ctl::runRead},         {"write-all", kv6::ctl::runWriteAll},
        {"show", kv6::ctl::runShow},         {"set", kv6::ctl::runSet},
        {"password", kv6::ctl::runPassword}, {"reset", kv6::ctl::runReset},
        {"journal", kv6::ctl::runJournal},   {"state", kv6::ctl::runState},
        {"clear-journal", kv6::ctl::runClearJournal},
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
