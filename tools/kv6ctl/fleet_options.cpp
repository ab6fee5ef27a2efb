#include "fleet_options.h"

#include <QRegularExpression>

#include "ctl_options.h"

namespace kv6::ctl {

bool validObjectNumber(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^[0-9A-Za-z]{1,4}$"));
    return pattern.match(text).hasMatch();
}

FleetOptions parseFleetOptions(const QStringList& args) {
    static const QStringList withValue = {"--db", "--object", "--password", "--new", "--state", "--out", "--clear", "--role",
                                        "--server", "--key-file", "--from", "--tag", "--settings", "--prg",
                                        "--target", "--waves", "--max-failed"};
    FleetOptions o;
    for (int i = 0; i < args.size() && o.error.isEmpty(); ++i) {
        QString name = args[i];
        if (!name.startsWith(QStringLiteral("--"))) {
            o.positional << name;
            continue;
        }
        QString value;
        const qsizetype equals = name.indexOf('=');
        if (equals > 0) {
            value = name.mid(equals + 1);
            name = name.left(equals);
        } else if (withValue.contains(name)) {
            if (i + 1 >= args.size()) {
                o.error = QStringLiteral("%1 needs a value").arg(name);
                break;
            }
            value = args[++i];
        }
        const auto bad = [&] { o.error = QStringLiteral("bad value '%1' for %2").arg(value, name); };
        if (name == "--db") {
            if (value.isEmpty()) bad();
            o.db = value;
        } else if (name == "--object") {
            if (!validObjectNumber(value)) o.error = QStringLiteral("--object needs one to four letters or digits");
            o.object = value;
        } else if (name == "--password" || name == "--new") {
            const auto number = parsePasswordArgument(value);
            if (!number) bad();
            (name == "--password" ? o.password : o.newPassword) = number;
        } else if (name == "--state") {
            o.state = value;
        } else if (name == "--clear") {
            if (value.isEmpty()) bad();
            o.clear = value;
        } else if (name == "--server") {
            if (!value.startsWith(QLatin1String("http://")) && !value.startsWith(QLatin1String("https://"))) bad();
            o.server = value;
        } else if (name == "--key-file") {
            if (value.isEmpty()) bad();
            o.keyFile = value;
        } else if (name == "--role") {
            o.role = value;
        } else if (name == "--from" || name == "--tag" || name == "--settings" || name == "--prg" ||
                   name == "--target" || name == "--waves" || name == "--max-failed") {
            if (value.isEmpty()) bad();
            (name == "--from"       ? o.from
             : name == "--tag"      ? o.tag
             : name == "--settings" ? o.settings
             : name == "--prg"      ? o.prg
             : name == "--target"   ? o.target
             : name == "--waves"    ? o.waves
                                    : o.maxFailed) = value;
        } else if (name == "--dynamic") {
            if (equals > 0) o.error = QStringLiteral("%1 takes no value").arg(name);
            o.dynamic = true;
        } else if (name == "--out") {
            if (value.isEmpty()) bad();
            o.out = value;
        } else if (name == "--force" || name == "--connected" || name == "--json" || name == "--renumber" ||
                   name == "--password-from-file") {
            if (equals > 0) o.error = QStringLiteral("%1 takes no value").arg(name);
            (name == "--force"         ? o.force
             : name == "--connected"   ? o.connected
             : name == "--json"        ? o.json
             : name == "--renumber"    ? o.renumber
                                       : o.passwordFromFile) = true;
        } else {
            o.error = QStringLiteral("unknown option '%1'").arg(name);
        }
    }
    return o;
}

}  // namespace kv6::ctl
