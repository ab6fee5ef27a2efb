#include "pages/configuration.h"

namespace kv6::pages {

Configuration::Configuration(TraceSink* trace) : workspace(trace) {
    document.addPage(object);
    document.addPage(gsm);
    document.addPage(sms);
}

}  // namespace kv6::pages
