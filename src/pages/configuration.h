#pragma once

#include "common/trace_sink.h"
#include "image/config_document.h"
#include "image/workspace.h"
#include "pages/journal/journal_model.h"
#include "pages/codes/codes_model.h"
#include "pages/events/events_model.h"
#include "pages/gsm/gsm_model.h"
#include "pages/object/object_model.h"
#include "pages/settings/settings_model.h"
#include "pages/sms/sms_model.h"
#include "pages/zones/zones_model.h"

namespace kv6::pages {

// The whole configuration of one window (or one kv6ctl run): the workspace,
// every page model, and the decode/encode pipelines over them, registered in
// page order.
class Configuration {
public:
    explicit Configuration(TraceSink* trace = nullptr);
    Configuration(const Configuration&) = delete;
    Configuration& operator=(const Configuration&) = delete;

    image::Workspace workspace;
    image::ConfigDocument document{workspace};

    // Page models, registered in page order.
    ObjectModel object;
    GsmModel gsm;
    CodesModel codes{workspace};
    EventsModel events;
    SmsModel sms;
    ZonesModel zones{workspace};
    SettingsModel settings;

    // The event journal and module state: decoded with every image, never encoded.
    journal::JournalModel journal;
};

}  // namespace kv6::pages
