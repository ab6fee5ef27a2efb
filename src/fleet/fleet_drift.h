#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fleet/drift_query.h"
#include "fleet/fleet_store.h"

namespace kv6::fleet {

// How far modules have drifted from a settings document or an image: for
// each, what a write of it onto the module's newest backup would change,
// field by field, as the write job itself would send it (the module keeps
// its object number, read password and clock). Nothing is queued. A page
// at a time, one backup image at a time, so that a fleet of any size fits.
class FleetDrift {
public:
    // One module against its newest backup; none when the store failed.
    [[nodiscard]] static DriftRow row(FleetStore& store, const std::string& object, const DriftSource& source);
    // One backup image against the source.
    [[nodiscard]] static DriftRow compare(const std::string& object, const image::Image& backup,
                                          const DriftSource& source);
    // The next page of the target; none when the store failed.
    [[nodiscard]] static std::optional<DriftPage> page(FleetStore& store, const DriftQuery& query);
    // The target's object numbers after `after`, in order, at most `limit`;
    // none when the store failed, `refusal` set when the target cannot be listed.
    [[nodiscard]] static std::optional<std::vector<std::string>> targetObjects(FleetStore& store,
                                                                               const FleetTarget& target,
                                                                               const std::string& after,
                                                                               std::size_t limit,
                                                                               std::string& refusal);
};

}  // namespace kv6::fleet
