#include <cstdio>
#include <string>

#include "commands.h"
#include "ctl_time_zone.h"
#include "fields_file.h"
#include "zone_types_file.h"
#include "io/prg_file.h"
#include "pages/configuration.h"
#include "pages/common/field_rules.h"
#include "settings/image_edit.h"

namespace kv6::ctl {

namespace {

constexpr const char* kUsage = "usage: kv6ctl set FILE.prg [--paramp FILE] page.key=VALUE ...\n";

// Applies one "page.key=VALUE"; returns the reason it was refused, or "".
std::string applyAssignment(pages::Configuration& configuration, const std::string& assignment) {
    const std::size_t equals = assignment.find('=');
    const std::size_t dot = assignment.find('.');
    if (equals == std::string::npos || dot == std::string::npos || dot > equals)
        return "'" + assignment + "' is not of the form page.key=VALUE";
    const std::string pageKey = assignment.substr(0, dot);
    const std::string key = assignment.substr(dot + 1, equals - dot - 1);
    image::PageModel* page = configuration.document.page(pageKey);
    if (!page) {
        std::string message = "unknown page \"" + pageKey + "\"; pages:";
        for (const image::PageModel* p : configuration.document.pages()) message += " " + p->pageKey();
        return message;
    }
    // Values come in the escaped form show prints; the value a field already
    // shows is taken back unchanged.
    const std::string error = page->assignField(key, pages::rules::unescapedText(assignment.substr(equals + 1)));
    if (error.empty()) return error;
    // "key: ..." becomes "page.key: ..."; other messages name the page.
    return pageKey + (error.rfind(key + ":", 0) == 0 ? "." : ": ") + error;
}

}  // namespace

// kv6ctl set FILE.prg page.key=VALUE ...: all assignments or none; only the
// bytes of the fields that change are written (atomically) over the file.
int runSet(const QStringList& arguments) {
    QStringList args = arguments;
    QString paramp;
    QString error;
    if (!takeParampOption(args, paramp, error)) {
        std::fprintf(stderr, "kv6ctl set: %s\n", qPrintable(error));
        return 2;
    }
    if (args.size() < 2 || args.first().startsWith("--")) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString path = args.first();
    pages::Configuration configuration;
    applyRunTimeZone(configuration);
    if (!applyZoneTypes(configuration, paramp, error)) {
        std::fprintf(stderr, "kv6ctl set: %s\n", qPrintable(error));
        return 2;
    }
    if (!loadFieldsFile(configuration, path, "set", false, "set writes over no other file")) return 2;
    const settings::ImageEdit edit(configuration, configuration.workspace.ReceivedImage);
    bool refused = false;
    for (const QString& arg : args.mid(1)) {
        const std::string error = applyAssignment(configuration, arg.toStdString());
        if (!error.empty()) {
            std::fprintf(stderr, "kv6ctl set: %s\n", error.c_str());
            refused = true;
        }
    }
    if (refused) {
        std::fputs("kv6ctl set: nothing written\n", stderr);
        return 2;
    }
    const QString saveError = io::savePrg(path, edit.edited());
    if (!saveError.isEmpty()) {
        std::fprintf(stderr, "kv6ctl: cannot write %s: %s\n", qPrintable(path), qPrintable(saveError));
        return 2;
    }
    return 0;
}

}  // namespace kv6::ctl
