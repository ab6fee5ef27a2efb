#include "commands.h"
#include "ctl_backup.h"
#include "ctl_session.h"

namespace kv6::ctl {

namespace {
const char* const kUsage = "reset (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] [--no-backup]";
constexpr int kAnswerMs = 10'000;
}  // namespace

int runReset(const QStringList& args) {
    CtlOptions options = parseCtlOptions(args);
    requireLinkChoice(options);
    if (options.error.isEmpty() && !options.positional.isEmpty())
        options.error = QStringLiteral("unexpected argument '%1'").arg(options.positional.first());
    if (!options.error.isEmpty()) return usageError("reset", options.error, kUsage);

    CtlSession session(options);
    if (const int code = session.ensureLink()) return code;
    backupModule(session, options, options.password.value_or(QString()));
    QObject::connect(&session.link, &io::ModuleLink::factoryResetDone, [&session] { session.finish(0); });
    session.link.sendFactoryReset();
    return session.run(kAnswerMs, QStringLiteral("no answer from the module"));
}

}  // namespace kv6::ctl
