#include "fields_file.h"

#include <cstdio>

#include "io/prg_file.h"
#include "pages/configuration.h"

namespace kv6::ctl {

bool takeForceOption(QStringList& args) { return args.removeAll(QStringLiteral("--force")) > 0; }

bool acceptFileSize(const char* command, const QString& path, qint64 size, bool force, const char* advice) {
    if (force || size == static_cast<qint64>(image::kImageSize)) return true;
    std::fprintf(stderr, "kv6ctl %s: %s is %lld bytes, not a %zu-byte configuration; %s\n", command,
                 qPrintable(path), static_cast<long long>(size), image::kImageSize, advice);
    return false;
}

bool loadFieldsFile(pages::Configuration& configuration, const QString& path, const char* command, bool force,
                    const char* advice) {
    const io::PrgLoadResult result = io::loadConfigurationFile(configuration, path);
    if (!result.ok) {
        std::fprintf(stderr, "kv6ctl: cannot read %s: %s\n", qPrintable(path), qPrintable(result.error));
        return false;
    }
    return acceptFileSize(command, path, result.fileSize, force, advice);
}

}  // namespace kv6::ctl
