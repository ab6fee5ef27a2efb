#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <map>

#include "commands.h"
#include "common/version.h"

namespace {

// Also the source of the manual page (help2man) and of the shell completion,
// which takes the commands and their options from the usage lines.
const char* const kUsage =
    "Usage: kv6ctl read      (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] --out FILE.prg\n"
    "  or:  kv6ctl write-all (--port DEV | --remote [--listen-port N] [--wait S]) FILE.prg\n"
    "  or:  kv6ctl show      FILE.prg [--json]\n"
    "  or:  kv6ctl set       FILE.prg page.key=VALUE ...\n"
    "  or:  kv6ctl password  (--port DEV | --remote [--listen-port N] [--wait S]) --old N --new M\n"
    "  or:  kv6ctl reset     (--port DEV | --remote [--listen-port N] [--wait S])\n"
    "Reads the configuration of a KV6 alarm transmission module into a .prg file\n"
    "and writes one back, over a serial cable (--port) or while the module\n"
    "connects in over GPRS (--remote); shows and changes .prg files; changes the\n"
    "module's read password and resets the module to factory settings.\n"
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
    "  --json            show: print JSON instead of page.key = value lines\n"
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
        {"keys", kv6::ctl::runKeys},  // not in the usage: the shell completion asks it
    };
    const QString command = args.takeFirst();
    const auto found = commands.find(command);
    if (found == commands.end()) {
        std::fprintf(stderr, "kv6ctl: unknown command '%s'\n%s", qPrintable(command), kUsage);
        return 2;
    }
    return found->second(args);
}
