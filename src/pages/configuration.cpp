#include "pages/configuration.h"

namespace kv6::pages {

Configuration::Configuration(TraceSink* trace) : workspace(trace) {
    document.addPage(object);
    document.addPage(codes);
}

}  // namespace kv6::pages
