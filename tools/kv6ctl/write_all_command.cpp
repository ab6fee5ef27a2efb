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
    "write-all (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] [--verify] [--no-backup] "
    "[--force] [--password-from-file | --keep-password] FILE.prg";
// Twenty jobs, each at most five attempts of up to 60 ticks of 300 ms, fail
// at the first job that stays unanswered; this only guards against a stall.
constexpr int kWriteGuardMs = 600'000;
constexpr std::size_t kPasswordOffset = 244;  // high byte, then low

// The written image carries bytes 244..245, the read password: one template
// written to many sites would give them all its password. Unless told which
// to keep, write-all goes on only when the module already holds the file's.
// Returns 0 to go on (with `written`'s password set as chosen), else the exit code.
int checkReadPassword(const CtlOptions& options, FirstRead read, const QString& filePassword,
                      image::Image& written) {
    const QString modulePassword = options.password.value_or(filePassword);
    if (options.passwordFromFile) {
        if (read != FirstRead::Done)
            std::fputs("kv6ctl write-all: warning: the module's read password could not be checked; the file's "
                       "is written\n", stderr);
        return 0;
    }
    if (read == FirstRead::Failed) {
        std::fputs("kv6ctl write-all: the module could not be read to compare its read password with the file's; "
                   "nothing written (--password-from-file writes without the check)\n", stderr);
        return 1;
    }
    if (read == FirstRead::PasswordMismatch && options.password) {
        std::fputs("kv6ctl write-all: the module refused the read password given with --password; nothing "
                   "written\n", stderr);
        return 1;
    }
    if (options.keepPassword) {
        if (read != FirstRead::Done) {
            std::fputs("kv6ctl write-all: the file's read password is not the module's; to keep the module's, "
                       "give it with --password N; nothing written\n", stderr);
            return 2;
        }
        const int value = modulePassword.toInt();
        written[kPasswordOffset] = static_cast<std::uint8_t>(value >> 8);
        written[kPasswordOffset + 1] = static_cast<std::uint8_t>(value & 0xFF);
        return 0;
    }
    if (read == FirstRead::Done && modulePassword == filePassword) return 0;
    std::fprintf(stderr,
                 "kv6ctl write-all: the file's read password (%s) is not the module's, and writing the file would "
                 "change it; nothing written (--keep-password with --password N keeps the module's, "
                 "--password-from-file writes the file's)\n",
                 qPrintable(filePassword));
    return 2;
}

}  // namespace

int runWriteAll(const QStringList& args) {
    CtlOptions options = parseCtlOptions(args);
    requireLinkChoice(options);
    if (options.error.isEmpty() && options.positional.size() != 1)
        options.error = QStringLiteral("exactly one FILE.prg is needed");
    if (options.error.isEmpty() && (!options.out.isEmpty() || options.oldPassword || options.newPassword))
        options.error = QStringLiteral("write-all takes no --out, --old or --new");
    if (options.error.isEmpty() && options.passwordFromFile && options.keepPassword)
        options.error = QStringLiteral("give either --password-from-file or --keep-password, not both");
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
    // It always happens: its password check tells whether the module holds the file's password.
    const QString filePassword = imagePassword(fileCheck);
    const FirstRead read = backupModule(session, options, options.password.value_or(filePassword), true);
    if (const io::PrgLoadResult loaded = io::loadConfigurationFile(session.configuration, path); !loaded.ok) {
        std::fprintf(stderr, "kv6ctl: cannot read %s: %s\n", qPrintable(path), qPrintable(loaded.error));
        return 2;
    }
    // "Записать" -> "Настройки модуля" without its question.
    session.configuration.document.EncodeAll();
    if (const int code = checkReadPassword(options, read, filePassword, session.configuration.workspace.ConfigImage))
        return code;
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
