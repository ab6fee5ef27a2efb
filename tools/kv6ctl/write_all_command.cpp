#include <cstdio>

#include "commands.h"
#include "ctl_backup.h"
#include "ctl_session.h"
#include "fields_file.h"
#include "io/prg_file.h"
#include "verify_command.h"

namespace kv6::ctl {

namespace {
const char* const kUsage =
    "write-all (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] [--verify] [--no-backup] [--force] FILE.prg";
// Twenty jobs, each at most five attempts of up to 60 ticks of 300 ms, fail
// at the first job that stays unanswered; this only guards against a stall.
constexpr int kWriteGuardMs = 600'000;
}  // namespace

int runWriteAll(const QStringList& args) {
    CtlOptions options = parseCtlOptions(args);
    requireLinkChoice(options);
    if (options.error.isEmpty() && options.positional.size() != 1)
        options.error = QStringLiteral("exactly one FILE.prg is needed");
    if (options.error.isEmpty() && (!options.out.isEmpty() || options.oldPassword || options.newPassword))
        options.error = QStringLiteral("write-all takes no --out, --old or --new");
    if (!options.error.isEmpty()) return usageError("write-all", options.error, kUsage);

    CtlSession session(options);
    const QString path = options.positional.first();
    image::Image fileCheck{};
    if (const io::PrgLoadResult checked = io::loadPrg(path, fileCheck); !checked.ok) {
        std::fprintf(stderr, "kv6ctl: cannot read %s: %s\n", qPrintable(path), qPrintable(checked.error));
        return 2;
    } else if (!acceptFileSize("write-all", path, checked.fileSize, options.force)) {
        return 2;
    }
    if (const int code = session.ensureLink()) return code;
    // The backup read decodes the module's image: the file is loaded after it.
    backupModule(session, options, options.password.value_or(imagePassword(fileCheck)));
    if (const io::PrgLoadResult loaded = io::loadConfigurationFile(session.configuration, path); !loaded.ok) {
        std::fprintf(stderr, "kv6ctl: cannot read %s: %s\n", qPrintable(path), qPrintable(loaded.error));
        return 2;
    }
    // "Записать" -> "Настройки модуля" without its question.
    session.configuration.document.EncodeAll();
    const image::Image written = session.configuration.workspace.ConfigImage;
    QObject::connect(&session.link, &io::ModuleLink::writeFinished, [&session, &options, written](bool ok) {
        if (ok && options.verify)
            startVerifyRead(session, options, written, imagePassword(written));  // the password just written
        else
            session.finish(ok ? 0 : 1);
    });
    session.configuration.document.queueWriteAllJobs();
    session.link.startWrite();
    return session.run(kWriteGuardMs, QStringLiteral("the write did not finish"));
}

}  // namespace kv6::ctl
