#include <QTextStream>
#include <cstdio>

#include "commands.h"
#include "ctl_options.h"
#include "io/backup_store.h"

namespace kv6::ctl {

namespace {
const char* const kUsage = "backups [--object N]";
}  // namespace

// kv6ctl backups [--object N]: the kept module images, newest first.
int runBackups(const QStringList& args) {
    QString object;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--object" && i + 1 < args.size()) {
            object = args[++i];
        } else if (args[i].startsWith("--object=")) {
            object = args[i].mid(9);
        } else {
            return usageError("backups", QStringLiteral("unexpected argument '%1'").arg(args[i]), kUsage);
        }
    }
    const io::BackupStore store;
    for (const QString& path : store.list(object)) std::printf("%s\n", qPrintable(path));
    return 0;
}

}  // namespace kv6::ctl
