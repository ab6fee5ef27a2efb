#include "daemon_options.h"

#include <algorithm>
#include <optional>

#include "fleet/api/api_listen_address.h"

namespace kv6::daemon {

namespace {

std::optional<int> number(const QString& text, int low, int high) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high) return std::nullopt;
    return value;
}

}  // namespace

// Also the source of the manual page (help2man).
const char* daemonUsage() {
    return "Usage: kv6d [--port N | --listen ADDRESS:PORT] [--db FILE|URL] [--time-zone N]\n"
           "            [--pace module] [--no-inventory-read] [--backup-every DAYS]\n"
           "            [--max-attempts N]\n"
           "            [--identify-timeout S] [--lease S]\n"
           "            [--mismatch-limit N] [--address-mismatch-limit N] [--backoff S]\n"
           "            [--proxy-from ADDRESS[/BITS],...] [--max-unidentified N]\n"
           "            [--max-unidentified-per-address N] [--keep-backups N] [--keep-days D]\n"
           "            [--lock-timeout S] [--statement-timeout S] [--rollout-interval S]\n"
           "            [--idle-transaction-timeout S]\n"
           "            [--api-listen ADDRESS:PORT] [--tls-cert FILE --tls-key FILE] [--api-plain-http]\n"
           "The programming server of a fleet of KV6 alarm transmission modules: every\n"
           "module that connects in over GPRS is identified by its object number and\n"
           "carries out the jobs queued for it with `kv6ctl fleet queue` (read, write,\n"
           "password, clear-journal, reset), one at a time and in order. Every change is\n"
           "preceded by a read that proves the module's read password, verified after\n"
           "writing and recorded in the audit. Stops cleanly on SIGTERM and SIGINT.\n"
           "\n"
           "Options:\n"
           "  --port N             TCP port the modules call, on every address (default\n"
           "                       8099; 0: any free port)\n"
           "  --listen ADDRESS:PORT\n"
           "                       the modules' port on one address only: 10.0.0.11:8099,\n"
           "                       [2001:db8::11]:8099, or *:8099 for every address\n"
           "  --db FILE|URL        the store: an SQLite file (default\n"
           "                       ~/.local/share/korvel-kv6/fleet.sqlite), created when missing,\n"
           "                       or postgresql://USER@HOST[:PORT]/DB[?passfile=FILE], which\n"
           "                       several servers may share behind a load balancer\n"
           "  --time-zone N        1..13 for GMT+01:00 .. GMT+13:00 in the greeting and\n"
           "                       the journal times, 0 for none (default 0)\n"
           "  --pace P             reactive (the default): each request goes out as soon\n"
           "                       as the module has answered; module: one per tick\n"
           "  --no-inventory-read  do not queue a read for a module seen the first time\n"
           "  --backup-every DAYS  a module that calls while its newest backup is older\n"
           "                       than DAYS days (1..3650), or that has none, gets a read\n"
           "                       job, unless a job of it is queued or running; a failed\n"
           "                       one is tried again a day later at the soonest (default:\n"
           "                       off). Each read keeps a backup of about 7.3 KB: the\n"
           "                       retention (--keep-backups, --keep-days) bounds them\n"
           "  --max-attempts N     attempts of a job whose connection drops before it\n"
           "                       fails (default 5)\n"
           "  --identify-timeout S seconds a connection may stay unidentified (default 60)\n"
           "  --lease S            seconds before a running job of a server that stopped\n"
           "                       may be taken by another (default 30)\n"
           "  --mismatch-limit N   password mismatches of one object number before it is\n"
           "                       locked out (default 3); a proven password starts the\n"
           "                       count again\n"
           "  --address-mismatch-limit N\n"
           "                       password mismatches from one address, whatever the\n"
           "                       object, before it is locked out (default 30; 0: never)\n"
           "  --backoff S          seconds a lock-out lasts and a count is kept (default 600);\n"
           "                       `kv6ctl fleet lockouts` shows and clears them\n"
           "  --proxy-from LIST    load balancers (addresses or ADDRESS/BITS, comma-separated\n"
           "                       or repeated) whose connections start with a PROXY protocol\n"
           "                       v2 header (HAProxy's send-proxy-v2): the module's address\n"
           "                       is taken from it; a connection from them without one is closed\n"
           "  --max-unidentified N connections that have not identified themselves yet,\n"
           "                       in all; at the limit kv6d accepts no more until one\n"
           "                       identifies or is closed (default 1024; 0: no limit)\n"
           "  --max-unidentified-per-address N\n"
           "                       the same from one address; beyond it a connection is\n"
           "                       closed at once (default 128; 0: no limit)\n"
           "  --keep-backups N     backups kept of each module whatever their age\n"
           "                       (default 10)\n"
           "  --keep-days D        older backups beyond those, and jobs that ended, are\n"
           "                       deleted after D days (default 90; 0: never); the audit\n"
           "                       is kept whole\n"
           "  --rollout-interval S seconds between two looks at the running rollouts: a\n"
           "                       wave that failed beyond its limit halts, one that ended\n"
           "                       starts the next (default 2)\n"
           "  --lock-timeout S     PostgreSQL: seconds a statement may wait for a row\n"
           "                       another server holds (default 5; 0: no limit)\n"
           "  --statement-timeout S\n"
           "                       PostgreSQL: seconds one statement may take (default 10;\n"
           "                       0: no limit)\n"
           "  --idle-transaction-timeout S\n"
           "                       PostgreSQL: seconds a server's transaction may stay open\n"
           "                       between two statements before the database ends its\n"
           "                       session and frees its rows (default 5; 0: no limit).\n"
           "                       A statement that runs out of time counts as a lost\n"
           "                       database: the jobs running here go back to the queue\n"
           "                       and kv6d connects again. Keep all three below --lease\n"
           "  --api-listen ADDRESS:PORT\n"
           "                       the operator API (HTTP, keys and roles, /metrics)\n"
           "                       listens here (default 127.0.0.1:8098); an address\n"
           "                       other than loopback needs --tls-cert and --tls-key,\n"
           "                       or --api-plain-http. It also answers the load\n"
           "                       balancer's health check, GET /healthz without a key:\n"
           "                       200 while the store is reachable (\"up\", or \"slow:\n"
           "                       ...\" while its heartbeats take long), 503 while it is\n"
           "                       not or no heartbeat was kept for a whole lease\n"
           "  --tls-cert FILE      the API's certificate (PEM, with its chain): HTTPS\n"
           "  --tls-key FILE       the certificate's private key (PEM)\n"
           "  --api-plain-http     plain HTTP beyond loopback, on purpose (behind a TLS\n"
           "                       proxy such as HAProxy on a private network)\n"
           "  --help               print this text and exit\n"
           "  --version            print the version and exit\n";
}

DaemonOptions parseDaemonOptions(const QStringList& args) {
    DaemonOptions o;
    QStringList givenPort;  // --port or --listen, as often as given
    for (int i = 0; i < args.size() && o.error.isEmpty(); ++i) {
        QString name = args[i];
        QString value;
        const bool inlineValue = name.contains('=');
        if (inlineValue) {
            value = name.section('=', 1);
            name = name.section('=', 0, 0);
        }
        const auto takeValue = [&]() -> bool {
            if (inlineValue) return true;
            if (i + 1 >= args.size()) {
                o.error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        // "--lease needs seconds 3..3600" for a missing or out-of-range value.
        const auto numeric = [&](int low, int high, const char* unit, auto&& set) {
            if (!takeValue()) return;
            const auto n = number(value, low, high);
            if (n)
                set(*n);
            else
                o.error = QStringLiteral("%1 needs %2 %3..%4").arg(name, QLatin1String(unit)).arg(low).arg(high);
        };
        if (name == "--help") {
            o.help = true;
        } else if (name == "--version") {
            o.version = true;
        } else if (name == "--no-inventory-read") {
            o.server.inventoryRead = false;
        } else if (name == "--backup-every") {
            numeric(1, 3650, "days", [&](int n) { o.server.backupEveryDays = n; });
        } else if (name == "--port") {
            numeric(0, 65535, "a number",
                    [&](int n) { o.modules = fleet::ListenAddress(QHostAddress::Any, static_cast<quint16>(n)); });
            givenPort << name;
        } else if (name == "--listen") {
            if (!takeValue()) break;
            QString problem;
            const auto where = fleet::ListenAddress::parse(value, problem);
            if (!where)
                o.error = name + " needs ADDRESS:PORT: " + problem;
            else
                o.modules = *where;
            givenPort << name;
        } else if (name == "--status-port" || name == "--status-listen") {
            // A unit or script of an older release: say where its checks go now.
            o.error = name + " is gone: the health check is GET /healthz on the operator API's port (--api-listen "
                             "ADDRESS:PORT)";
        } else if (name == "--db") {
            if (!takeValue()) break;
            if (value.isEmpty()) o.error = "--db needs a file";
            o.db = value;
        } else if (name == "--time-zone") {
            numeric(0, 13, "a number", [&](int n) { o.server.zoneHours = n; });
        } else if (name == "--pace") {
            if (!takeValue()) break;
            if (value == "module") o.server.pacing = link::Pacing::Module;
            else if (value == "reactive") o.server.pacing = link::Pacing::Reactive;
            else o.error = "--pace needs module or reactive";
        } else if (name == "--max-attempts") {
            numeric(1, 1000, "a number", [&](int n) { o.server.maxAttempts = n; });
        } else if (name == "--lease") {
            numeric(3, 3600, "seconds", [&](int n) { o.server.leaseSeconds = n; });
        } else if (name == "--identify-timeout") {
            numeric(1, 86400, "seconds", [&](int n) { o.server.identifySeconds = n; });
        } else if (name == "--mismatch-limit") {
            numeric(1, 1000, "a number", [&](int n) { o.server.objectMismatchLimit = n; });
        } else if (name == "--address-mismatch-limit") {
            numeric(0, 100000, "a number", [&](int n) { o.server.addressMismatchLimit = n; });
        } else if (name == "--backoff") {
            numeric(1, 604800, "seconds", [&](int n) { o.server.backoffSeconds = n; });
        } else if (name == "--max-unidentified") {
            numeric(0, 1000000, "a number", [&](int n) { o.server.unidentified.total = n; });
        } else if (name == "--max-unidentified-per-address") {
            numeric(0, 1000000, "a number", [&](int n) { o.server.unidentified.perAddress = n; });
        } else if (name == "--keep-backups") {
            numeric(1, 100000, "a number", [&](int n) { o.retention.keepBackups = n; });
        } else if (name == "--rollout-interval") {
            numeric(1, 3600, "seconds", [&](int n) { o.rolloutSeconds = n; });
        } else if (name == "--keep-days") {
            numeric(0, 3650, "days", [&](int n) { o.retention.keepDays = n; });
        } else if (name == "--lock-timeout") {
            numeric(0, 3600, "seconds", [&](int n) { o.timeouts.lockMs = n * 1000; });
        } else if (name == "--statement-timeout") {
            numeric(0, 3600, "seconds", [&](int n) { o.timeouts.statementMs = n * 1000; });
        } else if (name == "--idle-transaction-timeout") {
            numeric(0, 3600, "seconds", [&](int n) { o.timeouts.idleInTransactionMs = n * 1000; });
        } else if (name == "--proxy-from") {
            if (!takeValue()) break;
            o.proxyFrom << value.split(',', Qt::SkipEmptyParts);
            QString problem;
            if (const auto sources = fleet::ProxySources::parse(o.proxyFrom, problem); sources && !o.proxyFrom.isEmpty())
                o.server.proxyFrom = *sources;
            else
                o.error = "--proxy-from needs addresses or ADDRESS/BITS: " +
                          (problem.isEmpty() ? QStringLiteral("none given") : problem);
        } else if (name == "--api-listen") {
            if (!takeValue()) break;
            o.apiListen = value;
        } else if (name == "--tls-cert" || name == "--tls-key") {
            if (!takeValue()) break;
            if (value.isEmpty()) o.error = name + " needs a file";
            (name == "--tls-cert" ? o.tlsCert : o.tlsKey) = value;
        } else if (name == "--api-plain-http") {
            o.apiPlainHttp = true;
        } else {
            o.error = "unknown argument '" + name + "'";
        }
    }
    // A second address would be silently unused (one port listens on one
    // address); a repeated --port is taken as before: the last one counts.
    const auto listen = std::find(givenPort.begin(), givenPort.end(), QStringLiteral("--listen"));
    if (o.error.isEmpty() && givenPort.size() >= 2 && listen != givenPort.end()) {
        // Named in the order given: the first option and the listen one, or
        // the listen one and the next.
        const QString& first = listen == givenPort.begin() ? *listen : givenPort.first();
        const QString& second = listen == givenPort.begin() ? *(listen + 1) : *listen;
        o.error = first + " and " + second + " both say where one port listens: give one";
    }
    if (!o.error.isEmpty()) return o;
    QString problem;
    const auto api = fleet::api::ApiListenAddress::parse(o.apiListen, problem);
    if (!api)
        o.error = "--api-listen needs " + problem;
    else if (o.tlsCert.isEmpty() != o.tlsKey.isEmpty())
        o.error = QStringLiteral("--tls-cert and --tls-key go together");
    // A key sent in clear text over a network is as good as published.
    else if (!api->loopback() && o.tlsCert.isEmpty() && !o.apiPlainHttp)
        o.error = QStringLiteral("--api-listen %1 is not loopback: give --tls-cert and --tls-key, "
                                 "or --api-plain-http on purpose").arg(o.apiListen);
    return o;
}

}  // namespace kv6::daemon
