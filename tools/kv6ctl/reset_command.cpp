#include "commands.h"
#include "ctl_backup.h"
#include "ctl_session.h"
#include "service_confirmation.h"

namespace kv6::ctl {

namespace {
const char* const kUsage =
    "reset (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] [--no-backup] [--yes]";
constexpr int kAnswerMs = 10'000;
}  // namespace

int runReset(const QStringList& args) {
    CtlOptions options = parseCtlOptions(args);
    requireLinkChoice(options);
    if (options.error.isEmpty() && !options.positional.isEmpty())
        options.error = QStringLiteral("unexpected argument '%1'").arg(options.positional.first());
    if (!options.error.isEmpty()) return usageError("reset", options.error, kUsage);
    if (const int code = confirmService("reset", options, "restore the module's factory settings?")) return code;

    CtlSession session(options);
    if (const int code = session.ensureLink()) return code;
    const FirstRead read = backupModule(session, options, options.password.value_or(QString()));
    if (const int code = requirePasswordAccepted("reset", read)) return code;
    QObject::connect(&session.link, &io::ModuleLink::factoryResetDone, [&session] { session.finish(0); });
    session.link.sendFactoryReset();
    return session.run(kAnswerMs, QStringLiteral("no answer from the module"));
}

}  // namespace kv6::ctl
