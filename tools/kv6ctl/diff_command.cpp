#include <cstdio>

#include "commands.h"
#include "ctl_backup.h"
#include "ctl_session.h"
#include "diff_output.h"
#include "fields_file.h"
#include "io/prg_file.h"

namespace kv6::ctl {

namespace {

const char* const kUsage =
    "diff A.prg (B.prg | --port DEV | --remote [--listen-port N] [--wait S]) [--password N] [--json] [--force]";
constexpr int kReadGuardMs = 120'000;

int report(const settings::ConfigDiff& diff, bool json) {
    printDiff(diff, json);
    return diff.empty() ? 0 : 1;
}

}  // namespace

// kv6ctl diff A.prg B.prg | diff A.prg --port DEV: field by field, in page
// order; exit 0 when equal, 1 when they differ, 2 on an error. Against a
// module, the bytes it was not asked for (2000 on, 1920 on remotely) count as A's.
int runDiff(const QStringList& args) {
    CtlOptions options = parseCtlOptions(args);
    const bool module = options.remote || !options.port.isEmpty();
    if (options.error.isEmpty() && module) requireLinkChoice(options);
    if (options.error.isEmpty() && options.positional.size() != (module ? 1 : 2))
        options.error = module ? QStringLiteral("one FILE.prg to compare with the module") : QStringLiteral("two files to compare");
    if (!options.error.isEmpty()) return usageError("diff", options.error, kUsage);

    image::Image a{};
    const QString& pathA = options.positional[0];
    if (const auto loaded = io::loadPrg(pathA, a); !loaded.ok) {
        std::fprintf(stderr, "kv6ctl: cannot read %s: %s\n", qPrintable(pathA), qPrintable(loaded.error));
        return 2;
    } else if (!acceptFileSize("diff", pathA, loaded.fileSize, options.force)) {
        return 2;
    }
    if (!module) {
        image::Image b{};
        if (const auto loaded = io::loadPrg(options.positional[1], b); !loaded.ok) {
            std::fprintf(stderr, "kv6ctl: cannot read %s: %s\n", qPrintable(options.positional[1]), qPrintable(loaded.error));
            return 2;
        } else if (!acceptFileSize("diff", options.positional[1], loaded.fileSize, options.force)) {
            return 2;
        }
        return report(settings::diffImages(a, b), options.json);
    }

    CtlSession session(options);
    if (const int code = session.prepareLink()) return code;
    settings::ConfigDiff diff;
    QObject::connect(&session.link, &io::ModuleLink::readCompleted, [&](image::DecodeSource source) {
        const image::Image& read = session.configuration.workspace.ReceivedImage;
        keepBackup(options, read);
        image::Image b = a;
        std::copy_n(read.begin(), readBytes(source == image::DecodeSource::RemoteRead), b.begin());
        diff = settings::diffImages(a, b);
        session.finish(0);
    });
    QObject::connect(&session.link, &io::ModuleLink::readFailed, [&session] { session.finish(2); });
    session.link.startRead(options.password.value_or(QString()));
    if (!session.link.readActive()) return 2;  // the port could not be opened
    if (session.run(kReadGuardMs, QStringLiteral("the read did not finish")) != 0) return 2;
    return report(diff, options.json);
}

}  // namespace kv6::ctl
