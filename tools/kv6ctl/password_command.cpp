#include "commands.h"
#include "ctl_backup.h"
#include "ctl_session.h"

namespace kv6::ctl {

namespace {
const char* const kUsage = "password (--port DEV | --remote [--listen-port N] [--wait S]) --old N --new M";
constexpr int kAnswerMs = 10'000;
}  // namespace

int runPassword(const QStringList& args) {
    CtlOptions options = parseCtlOptions(args);
    requireLinkChoice(options);
    if (options.error.isEmpty() && (!options.oldPassword || !options.newPassword))
        options.error = QStringLiteral("--old N and --new M (0..65535) are required");
    if (options.error.isEmpty() && !options.positional.isEmpty())
        options.error = QStringLiteral("unexpected argument '%1'").arg(options.positional.first());
    if (!options.error.isEmpty()) return usageError("password", options.error, kUsage);

    CtlSession session(options);
    if (const int code = session.ensureLink()) return code;
    (void)backupModule(session, options, QString::number(*options.oldPassword));
    QObject::connect(&session.link, &io::ModuleLink::passwordChanged,
                     [&session](bool ok) { session.finish(ok ? 0 : 1); });
    session.link.sendPasswordChange(*options.oldPassword, *options.newPassword);
    return session.run(kAnswerMs, QStringLiteral("no answer from the module"));
}

}  // namespace kv6::ctl
