#include "pages/configuration.h"

namespace kv6::pages {

Configuration::Configuration(TraceSink* trace) : workspace(trace) {
    document.addPage(object);
    document.addPage(gsm);
    document.addPage(codes);
    document.addPage(events);
    document.addPage(sms);
    document.addPage(zones);
    document.addPage(settings);
    document.setJournalDecoder(
        [this](const image::Image& received, image::DecodeSource source) { journal.decode(received, source); });
}

}  // namespace kv6::pages
