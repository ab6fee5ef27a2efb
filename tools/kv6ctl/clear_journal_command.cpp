#include "commands.h"
#include "ctl_backup.h"
#include "ctl_session.h"
#include "pages/journal/journal_model.h"
#include "service_confirmation.h"

namespace kv6::ctl {

namespace {
const char* const kUsage =
    "clear-journal (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] [--no-backup] [--yes]";
// Nine jobs, each at most five attempts of up to 60 ticks of 300 ms; this only guards against a stall.
constexpr int kWriteGuardMs = 600'000;
}  // namespace

// "Очистить журнал событий" without its question: 246..695 zeroed in nine
// jobs of 50 bytes. Exit 0 when the module acknowledged every job.
int runClearJournal(const QStringList& args) {
    CtlOptions options = parseCtlOptions(args);
    requireLinkChoice(options);
    if (options.error.isEmpty() && !options.positional.isEmpty())
        options.error = QStringLiteral("unexpected argument '%1'").arg(options.positional.first());
    if (options.error.isEmpty() && (!options.out.isEmpty() || options.oldPassword || options.newPassword))
        options.error = QStringLiteral("clear-journal takes no --out, --old or --new");
    if (!options.error.isEmpty()) return usageError("clear-journal", options.error, kUsage);
    if (const int code = confirmService("clear-journal", options, "clear the module's event journal?")) return code;

    CtlSession session(options);
    if (const int code = session.ensureLink()) return code;
    // --password: the backup read's
    const FirstRead read = backupModule(session, options, options.password.value_or(QString()));
    if (const int code = requirePasswordAccepted("clear-journal", read)) return code;
    QObject::connect(&session.link, &io::ModuleLink::writeFinished,
                     [&session](bool ok) { session.finish(ok ? 0 : 1); });
    journal::JournalModel::ClearJournal(session.configuration.workspace);
    session.link.startWrite();
    return session.run(kWriteGuardMs, QStringLiteral("the journal clear did not finish"));
}

}  // namespace kv6::ctl
