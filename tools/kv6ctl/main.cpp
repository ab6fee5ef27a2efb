#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <map>

#include "commands.h"

namespace {

const char* const kUsage =
    "usage: kv6ctl COMMAND [options]\n"
    "  read      (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] --out FILE.prg\n"
    "  write-all (--port DEV | --remote [--listen-port N] [--wait S]) FILE.prg\n"
    "  show      FILE.prg [--json]\n"
    "  set       FILE.prg page.key=VALUE ...\n"
    "  password  (--port DEV | --remote [--listen-port N] [--wait S]) --old N --new M\n"
    "  reset     (--port DEV | --remote [--listen-port N] [--wait S])\n"
    "DEV is a port number 1..99 (as in the port dialog) or a device path.\n"
    "--trace prints the protocol trace to stderr.\n"
    "--pace reactive (the default) sends each request as soon as the module has answered the\n"
    "  previous one; --pace module keeps the desktop tool's pacing of one request per tick.\n"
    "--remote waits (at most --wait S, default 120) for a module that connects and identifies\n"
    "  itself, or stays connected 5 s without doing so.\n";

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
    };
    const QString command = args.takeFirst();
    const auto found = commands.find(command);
    if (found == commands.end()) {
        std::fprintf(stderr, "kv6ctl: unknown command '%s'\n%s", qPrintable(command), kUsage);
        return 2;
    }
    return found->second(args);
}
