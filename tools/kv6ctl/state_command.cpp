#include <cstdio>
#include <string>

#include "commands.h"
#include "ctl_options.h"
#include "fields_file.h"
#include "pages/configuration.h"

namespace kv6::ctl {

// kv6ctl state FILE.prg: the lines "Состояние прибора" shows for that image
// (the desktop tool shows them after a read from the module over the cable).
int runState(const QStringList& arguments) {
    constexpr const char* kUsage = "state FILE.prg [--force]";
    QStringList args = arguments;
    const bool force = takeForceOption(args);
    if (args.size() != 1 || args.first().startsWith("--"))
        return usageError("state", QStringLiteral("exactly one FILE.prg is needed"), kUsage);
    pages::Configuration configuration;
    if (!loadFieldsFile(configuration, args.first(), "state", force)) return 2;
    for (const std::string& line : journal::JournalModel::stateLinesOf(configuration.workspace.ReceivedImage)) {
        const std::string text = line + '\n';
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    return 0;
}

}  // namespace kv6::ctl
