#include <cstdio>

#include "commands.h"
#include "ctl_options.h"
#include "fields_file.h"
#include "pages/configuration.h"
#include "settings_file.h"

namespace kv6::ctl {

namespace {
const char* const kUsage = "export FILE.prg [--out FILE.json] [--force]";
}  // namespace

// kv6ctl export FILE.prg [--out FILE.json]: the settings document of a file
// (header and every page's typed fields), to stdout or atomically to a file.
int runExport(const QStringList& args) {
    const CtlOptions options = parseCtlOptions(args);
    if (!options.error.isEmpty()) return usageError("export", options.error, kUsage);
    if (options.positional.size() != 1) return usageError("export", QStringLiteral("exactly one FILE.prg is needed"), kUsage);
    pages::Configuration configuration;
    if (!loadFieldsFile(configuration, options.positional.first(), "export", options.force)) return 2;
    const std::string json =
        settings::exportDocument(configuration.document).dump(2, ' ', false, settings::Json::error_handler_t::replace) +
        "\n";
    const QString error = writeTextFile(options.out.isEmpty() ? QStringLiteral("-") : options.out, json);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "kv6ctl: cannot write %s: %s\n", qPrintable(options.out), qPrintable(error));
        return 2;
    }
    return 0;
}

}  // namespace kv6::ctl
