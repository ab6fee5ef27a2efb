#include "ctl_options.h"

#include <QRegularExpression>
#include <cstdio>

namespace kv6::ctl {

std::optional<quint16> parsePasswordArgument(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (!digits.match(text).hasMatch()) return std::nullopt;
    const int value = text.toInt();
    if (value > 65535) return std::nullopt;
    return static_cast<quint16>(value);
}

namespace {

bool takesValue(const QString& name) {
    static const QStringList withValue = {"--port", "--listen-port", "--wait", "--password", "--out", "--old", "--new", "--pace"};
    return withValue.contains(name);
}

// What each option takes, for the message that refuses a value.
QString acceptedForm(const QString& name) {
    if (name == "--port") return QStringLiteral("a port number 1..99 or a device path");
    if (name == "--listen-port") return QStringLiteral("a TCP port 1..65535");
    if (name == "--wait") return QStringLiteral("seconds, 1..86400");
    if (name == "--pace") return QStringLiteral("reactive or module");
    if (name == "--out") return QStringLiteral("a file name");
    return QStringLiteral("a password 0..65535");  // --password, --old, --new
}

void setValue(CtlOptions& o, const QString& name, const QString& value) {
    bool ok = true;
    if (name == "--port") {
        o.port = value;
        ok = !value.isEmpty();
    } else if (name == "--listen-port") {
        const int port = value.toInt(&ok);
        ok = ok && port > 0 && port < 65536;
        o.listenPort = static_cast<quint16>(port);
    } else if (name == "--wait") {
        o.waitSeconds = value.toInt(&ok);
        ok = ok && o.waitSeconds > 0 && o.waitSeconds <= 86400;
    } else if (name == "--password") {
        o.password = value;
        ok = parsePasswordArgument(value).has_value();
    } else if (name == "--out") {
        o.out = value;
        ok = !value.isEmpty();
    } else if (name == "--old") {
        o.oldPassword = parsePasswordArgument(value);
        ok = o.oldPassword.has_value();
    } else if (name == "--pace") {
        ok = value == "reactive" || value == "module";
        o.pace = value == "module" ? link::Pacing::Module : link::Pacing::Reactive;
    } else if (name == "--new") {
        o.newPassword = parsePasswordArgument(value);
        ok = o.newPassword.has_value();
    }
    if (!ok && o.error.isEmpty())
        o.error = QStringLiteral("bad value '%1' for %2; expected %3").arg(value, name, acceptedForm(name));
}

}  // namespace

CtlOptions parseCtlOptions(const QStringList& args) {
    CtlOptions o;
    for (int i = 0; i < args.size() && o.error.isEmpty(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith(QStringLiteral("--"))) {
            o.positional << arg;
            continue;
        }
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? arg : arg.left(eq);
        if (bool* flag = name == "--remote"      ? &o.remote
                         : name == "--trace"     ? &o.trace
                         : name == "--json"      ? &o.json
                         : name == "--verify"    ? &o.verify
                         : name == "--no-backup" ? &o.noBackup
                         : name == "--force"     ? &o.force
                         : name == "--yes"       ? &o.yes
                         : name == "--keep-password"      ? &o.keepPassword
                         : name == "--password-from-file" ? &o.passwordFromFile
                                                 : nullptr) {
            if (eq >= 0) o.error = QStringLiteral("%1 takes no value").arg(name);
            *flag = true;
        } else if (takesValue(name)) {
            if (eq >= 0) {
                setValue(o, name, arg.mid(eq + 1));
            } else if (i + 1 < args.size()) {
                setValue(o, name, args[++i]);
            } else {
                o.error = QStringLiteral("%1 needs a value").arg(name);
            }
        } else {
            o.error = QStringLiteral("unknown option '%1'").arg(arg);
        }
    }
    return o;
}

void requireLinkChoice(CtlOptions& options) {
    if (!options.error.isEmpty()) return;
    if (options.remote == !options.port.isEmpty()) options.error = QStringLiteral("give either --port DEV or --remote");
}

int usageError(const char* command, const QString& message, const char* usage) {
    std::fprintf(stderr, "kv6ctl %s: %s\nusage: kv6ctl %s\n", command, qPrintable(message), usage);
    return 2;
}

}  // namespace kv6::ctl
