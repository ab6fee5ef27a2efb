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
    "  or:  kv6ctl write-all (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] [--verify] "
    "[--password-from-file | --keep-password] [--force] FILE.prg\n"
    "  or:  kv6ctl verify    (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] [--force] FILE.prg\n"
    "  or:  kv6ctl show      FILE.prg [--json] [--paramp FILE] [--force]\n"
    "  or:  kv6ctl set       FILE.prg [--paramp FILE] page.key=VALUE ...\n"
    "  or:  kv6ctl password  (--port DEV | --remote [--listen-port N] [--wait S]) --old N --new M\n"
    "  or:  kv6ctl reset     (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] [--yes]\n"
    "  or:  kv6ctl export    FILE.prg [--out FILE.json] [--force]\n"
    "  or:  kv6ctl apply     FILE.prg SETTINGS.json [--out NEW.prg] [--force]\n"
    "  or:  kv6ctl diff      A.prg (B.prg | --port DEV | --remote [--listen-port N] [--wait S]) [--password N] [--json] [--force]\n"
    "  or:  kv6ctl keys\n"
    "  or:  kv6ctl backups   [--object N]\n"
    "  or:  kv6ctl journal   FILE.prg [--json] [--parame FILE] [--force]\n"
    "  or:  kv6ctl state     FILE.prg [--force]\n"
    "  or:  kv6ctl clear-journal (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] [--yes]\n"
    "  or:  kv6ctl fleet     (queue | jobs | modules | backups | backup | cancel | audit | lockouts | drift) ... [--db FILE]\n"
    "Reads the configuration of a KV6 alarm transmission module into a .prg file\n"
    "and writes one back, over a serial cable (--port) or while the module\n"
    "connects in over GPRS (--remote); shows and changes .prg files; changes the\n"
    "module's read password and resets the module to factory settings; shows and\n"
    "clears the event journal; keeps settings as JSON, applies them to files,\n"
    "compares files and modules field by field and verifies writes. keys lists\n"
    "every page.key that show prints and set takes.\n"
    "Exit status: 0 done (diff, verify: equal), 1 the module refused or did not\n"
    "answer (diff, verify: they differ), 2 bad arguments or files, 3 the serial\n"
    "port or the TCP port to listen on cannot be opened.\n"
    "\n"
    "Options:\n"
    "  --port DEV        serial port: a number 1..99 (as in the port dialog) or a\n"
    "                    device path\n"
    "  --remote          wait for the module to connect over GPRS instead\n"
    "  --listen-port N   the TCP port to wait on (default 8099)\n"
    "  --wait S          how many seconds to wait for a module that connects and\n"
    "                    identifies itself, or stays connected 5 s (default 120)\n"
    "  --password N      the module's read password, 0..65535\n"
    "  --out FILE        read: where the configuration read is saved; export: the\n"
    "                    JSON file; apply: the .prg to write instead of FILE.prg\n"
    "  --old N, --new M  the current and the new read password\n"
    "  --json            show, journal, diff: print JSON instead of lines\n"
    "  --verify          write-all: read the module back and compare\n"
    "  --password-from-file\n"
    "                    write-all: give the module the file's read password even\n"
    "                    when it holds another (without this or --keep-password,\n"
    "                    such a write is refused)\n"
    "  --keep-password   write-all: keep the module's own read password, given\n"
    "                    with --password N\n"
    "  --yes             reset, clear-journal: do it without asking (needed when\n"
    "                    not on a terminal)\n"
    "  --no-backup       keep no backup of the module's image (every read, and the\n"
    "                    read a command that changes the module does first, keeps\n"
    "                    one in ~/.local/share/korvel-kv6/backups)\n"
    "  --object N        backups: only those of object number N\n"
    "  --force           take a .prg that is not 4096 bytes as the desktop tool\n"
    "                    loads it (a short one over the first bytes, a long one's\n"
    "                    first 4096); without it such a file is refused. set and\n"
    "                    apply never write over one\n"
    "  --parame FILE     journal: the event descriptions (default: the tool's parame)\n"
    "  --paramp FILE     show, set: the zone types (default: the tool's paramp)\n"
    "  --time-zone N     1..13 for GMT+01:00 .. GMT+13:00, 0 for none: module times\n"
    "                    are shown and set in that zone (default: the computer's)\n"
    "  --pace P          reactive (the default): each request goes out as soon as\n"
    "                    the module has answered the previous one; module: the\n"
    "                    desktop tool's pacing of one request per tick\n"
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
        {"keys", kv6::ctl::runKeys},
        {"export", kv6::ctl::runExport},     {"apply", kv6::ctl::runApply},
        {"diff", kv6::ctl::runDiff},         {"verify", kv6::ctl::runVerify},
        {"backups", kv6::ctl::runBackups},
        {"fleet", kv6::ctl::runFleet},
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
