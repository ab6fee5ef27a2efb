#include <cstdio>

#include "commands.h"
#include "ctl_backup.h"
#include "ctl_session.h"
#include "io/prg_file.h"

namespace kv6::ctl {

namespace {
const char* const kUsage = "read (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] --out FILE.prg";
// Beyond the engine's own five read windows (about 32 s).
constexpr int kReadGuardMs = 120'000;
}  // namespace

int runRead(const QStringList& args) {
    CtlOptions options = parseCtlOptions(args);
    requireLinkChoice(options);
    if (options.error.isEmpty() && options.out.isEmpty()) options.error = QStringLiteral("--out FILE.prg is required");
    if (options.error.isEmpty() && !options.positional.isEmpty())
        options.error = QStringLiteral("unexpected argument '%1'").arg(options.positional.first());
    if (options.error.isEmpty() && (options.oldPassword || options.newPassword))
        options.error = QStringLiteral("--old and --new belong to the password command");
    if (!options.error.isEmpty()) return usageError("read", options.error, kUsage);

    CtlSession session(options);
    if (const int code = session.prepareLink()) return code;
    QObject::connect(&session.link, &io::ModuleLink::readCompleted, [&session, &options] {
        keepBackup(options, session.configuration.workspace.ReceivedImage);
        // ConfigImage as it is at completion: the decode has just taken the image over.
        const QString error = io::savePrg(options.out, session.configuration.workspace.ConfigImage);
        if (!error.isEmpty()) {
            session.console.endLine();
            std::fprintf(stderr, "kv6ctl: cannot write %s: %s\n", qPrintable(options.out), qPrintable(error));
        }
        session.finish(error.isEmpty() ? 0 : 1);
    });
    QObject::connect(&session.link, &io::ModuleLink::readFailed, [&session] { session.finish(1); });
    session.link.startRead(options.password.value_or(QString()));
    if (!session.link.readActive()) return 1;  // the port could not be opened
    return session.run(kReadGuardMs, QStringLiteral("the read did not finish"));
}

}  // namespace kv6::ctl
