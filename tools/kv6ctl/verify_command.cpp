#include "verify_command.h"

#include <cstdio>

#include "commands.h"
#include "ctl_backup.h"
#include "diff_output.h"
#include "fields_file.h"
#include "io/prg_file.h"

namespace kv6::ctl {

namespace {
const char* const kUsage = "verify (--port DEV | --remote [--listen-port N] [--wait S]) [--password N] [--force] FILE.prg";
constexpr int kReadGuardMs = 120'000;
}  // namespace

QString imagePassword(const image::Image& image) { return QString::number(image[244] << 8 | image[245]); }

void startVerifyRead(CtlSession& session, const CtlOptions& options, const image::Image& written,
                     const QString& password) {
    QObject::connect(&session.link, &io::ModuleLink::readCompleted, [&session, &options, written](image::DecodeSource source) {
        const image::Image& read = session.configuration.workspace.ReceivedImage;
        keepBackup(options, read);
        const settings::ConfigDiff diff =
            compareWritten(written, read, readBytes(source == image::DecodeSource::RemoteRead), writeAllRanges());
        session.console.endLine();
        if (diff.empty()) {
            std::fputs("kv6ctl: verified: the module holds what was written\n", stderr);
            session.finish(0);
            return;
        }
        std::fputs("kv6ctl: the module does not hold what was written (written -> module):\n", stderr);
        printDiff(diff, options.json);
        session.finish(1);
    });
    QObject::connect(&session.link, &io::ModuleLink::readFailed, [&session] {
        session.console.endLine();
        std::fputs("kv6ctl: the module could not be read back to verify the write\n", stderr);
        session.finish(1);
    });
    session.link.startRead(password);
}

// kv6ctl verify (--port DEV | --remote ...) FILE.prg: reads the module and
// compares the ranges "write all settings" would send for FILE.prg. The read
// uses the file's password unless --password gives another.
int runVerify(const QStringList& args) {
    CtlOptions options = parseCtlOptions(args);
    requireLinkChoice(options);
    if (options.error.isEmpty() && options.positional.size() != 1)
        options.error = QStringLiteral("exactly one FILE.prg is needed");
    if (!options.error.isEmpty()) return usageError("verify", options.error, kUsage);

    CtlSession session(options);
    const QString path = options.positional.first();
    if (!loadFieldsFile(session.configuration, path, "verify", options.force)) return 2;
    session.configuration.document.EncodeAll();  // what a write of all settings would send
    const image::Image written = session.configuration.workspace.ConfigImage;
    if (const int code = session.prepareLink()) return code;
    // A module that holds the file holds its password too.
    startVerifyRead(session, options, written, options.password.value_or(imagePassword(written)));
    if (!session.link.readActive()) return 1;
    return session.run(kReadGuardMs, QStringLiteral("the read did not finish"));
}

}  // namespace kv6::ctl
