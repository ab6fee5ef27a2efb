#include <cstdio>
#include <string>

#include "commands.h"
#include "pages/configuration.h"

namespace kv6::ctl {

// kv6ctl keys: the field keys of every registered page, in page order, as
// `show` prints them. The shell completion lists them, so they follow the
// pages as they are added.
int runKeys(const QStringList& args) {
    if (!args.isEmpty()) {
        std::fputs("usage: kv6ctl keys\n", stderr);
        return 2;
    }
    const pages::Configuration configuration;
    for (const image::PageModel* page : configuration.document.pages())
        for (const image::PageField& field : page->fields()) {
            const std::string line = page->pageKey() + "." + field.key + "\n";
            std::fwrite(line.data(), 1, line.size(), stdout);
        }
    return 0;
}

}  // namespace kv6::ctl
