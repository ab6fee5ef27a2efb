#include <cstdio>
#include <string>

#include "commands.h"
#include "ctl_time_zone.h"
#include "fields_file.h"
#include "zone_types_file.h"
#include "pages/configuration.h"
#include "pages/common/field_rules.h"
#include "settings/settings_json.h"

namespace kv6::ctl {

namespace {

void printText(const pages::Configuration& configuration) {
    for (const image::PageModel* page : configuration.document.pages()) {
        const std::string prefix = page->pageKey() + ".";
        for (const image::PageField& field : page->fields()) {
            const std::string line = prefix + field.key + " = " + pages::rules::escapedText(field.value) + "\n";
            std::fwrite(line.data(), 1, line.size(), stdout);
        }
    }
}

void printJson(const pages::Configuration& configuration) {
    const std::string json =
        settings::pagesToJson(configuration.document).dump(2, ' ', false, settings::Json::error_handler_t::replace) + "\n";
    std::fwrite(json.data(), 1, json.size(), stdout);
}

}  // namespace

// kv6ctl show FILE.prg [--json]: every page's fields, in page order. In
// text, control characters show as \xHH and a backslash as \\ (the printable
// decode keeps bytes 1..31, so each value stays on its line); set takes that
// form back.
int runShow(const QStringList& arguments) {
    QStringList args = arguments;
    QString paramp;
    QString error;
    const bool force = takeForceOption(args);
    if (!takeParampOption(args, paramp, error)) {
        std::fprintf(stderr, "kv6ctl show: %s\n", qPrintable(error));
        return 2;
    }
    QString path;
    bool json = false;
    for (const QString& arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (arg.startsWith("--") || !path.isEmpty()) {
            std::fprintf(stderr, "kv6ctl show: unexpected argument '%s'\nusage: kv6ctl show FILE.prg [--json] [--paramp FILE] [--force]\n",
                         qPrintable(arg));
            return 2;
        } else {
            path = arg;
        }
    }
    if (path.isEmpty()) {
        std::fputs("usage: kv6ctl show FILE.prg [--json] [--paramp FILE] [--force]\n", stderr);
        return 2;
    }
    pages::Configuration configuration;
    applyRunTimeZone(configuration);
    if (!applyZoneTypes(configuration, paramp, error)) {
        std::fprintf(stderr, "kv6ctl show: %s\n", qPrintable(error));
        return 2;
    }
    if (!loadFieldsFile(configuration, path, "show", force)) return 2;
    json ? printJson(configuration) : printText(configuration);
    return 0;
}

}  // namespace kv6::ctl
