#include <QFileInfo>
#include <cstdio>

#include "commands.h"
#include "ctl_options.h"
#include "fields_file.h"
#include "io/prg_file.h"
#include "pages/configuration.h"
#include "settings/image_edit.h"
#include "settings_file.h"

namespace kv6::ctl {

namespace {
const char* const kUsage = "apply FILE.prg SETTINGS.json [--out NEW.prg] [--force]";
}  // namespace

// kv6ctl apply FILE.prg SETTINGS.json [--out NEW.prg]: sets every field the
// settings hold, all or nothing, and writes FILE.prg with only the bytes of
// the fields that change (into FILE.prg itself unless --out names another file).
int runApply(const QStringList& args) {
    const CtlOptions options = parseCtlOptions(args);
    if (!options.error.isEmpty()) return usageError("apply", options.error, kUsage);
    if (options.positional.size() != 2)
        return usageError("apply", QStringLiteral("a FILE.prg and a SETTINGS.json are needed"), kUsage);
    const QString& prg = options.positional[0];
    const auto json = readSettingsFile(options.positional[1]);
    if (!json) return 2;
    // Only a 4096-byte image is ever written over; a file of another size is
    // read (with --force) only into another file.
    const bool elsewhere =
        !options.out.isEmpty() && QFileInfo(options.out).absoluteFilePath() != QFileInfo(prg).absoluteFilePath();
    pages::Configuration configuration;
    const io::PrgLoadResult loaded = io::loadConfigurationFile(configuration, prg);
    if (!loaded.ok) {
        std::fprintf(stderr, "kv6ctl: cannot read %s: %s\n", qPrintable(prg), qPrintable(loaded.error));
        return 2;
    }
    if (!acceptFileSize("apply", prg, loaded.fileSize, options.force && elsewhere,
                        "apply writes over no other file (--force with --out NEW.prg writes the result there)"))
        return 2;
    const settings::ImageEdit edit(configuration, configuration.workspace.ReceivedImage);

    const std::vector<std::string> problems = settings::applyJson(configuration.document, *json);
    if (!problems.empty()) {
        for (const std::string& problem : problems) std::fprintf(stderr, "kv6ctl apply: %s\n", problem.c_str());
        std::fputs("kv6ctl apply: nothing written\n", stderr);
        return 2;
    }
    const QString target = options.out.isEmpty() ? prg : options.out;
    const QString error = io::savePrg(target, edit.edited());
    if (!error.isEmpty()) {
        std::fprintf(stderr, "kv6ctl: cannot write %s: %s\n", qPrintable(target), qPrintable(error));
        return 2;
    }
    return 0;
}

}  // namespace kv6::ctl
