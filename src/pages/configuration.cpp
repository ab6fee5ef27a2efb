#include "pages/configuration.h"

namespace kv6::pages {

Configuration::Configuration(TraceSink* trace) : workspace(trace) {}

}  // namespace kv6::pages
