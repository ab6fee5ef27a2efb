#include "fields_file.h"

#include <cstdio>

#include "io/prg_file.h"
#include "pages/configuration.h"

namespace kv6::ctl {

bool loadFieldsFile(pages::Configuration& configuration, const QString& path) {
    const io::PrgLoadResult result = io::loadConfigurationFile(configuration, path);
    if (!result.ok) {
        std::fprintf(stderr, "kv6ctl: cannot read %s: %s\n", qPrintable(path), qPrintable(result.error));
        return false;
    }
    return true;
}

}  // namespace kv6::ctl
