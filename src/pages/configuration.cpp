#include "pages/configuration.h"

namespace kv6::pages {

Configuration::Configuration(TraceSink* trace) : workspace(trace) {
    document.addPage(object);
}

}  // namespace kv6::pages
