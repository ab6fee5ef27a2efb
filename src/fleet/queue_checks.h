#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fleet/fleet_store.h"
#include "settings/settings_json.h"

namespace kv6::fleet {

// The checks a job passes before it is queued, the same whoever queues it
// (kv6ctl fleet on the store, or the HTTP API).

// A settings document's values as `kv6ctl apply` checks them, onto the image
// the job will most likely meet: the object's newest backup. Some values are
// taken only where the image already holds them (a factory code shown as
// "????"), so for an object never read a value is refused only when both a
// new configuration and an erased module refuse it. Each problem starts
// with its key ("codes.code1: ..."); none: the document may be queued.
[[nodiscard]] std::vector<std::string> settingsProblems(FleetStore& store, const std::string& object,
                                                        const settings::Json& document);

// A rollout's payload, checked as a write's: a settings document as for an
// object never read (one document goes to many modules), a .prg by its size.
// Each problem starts with its key; none: the rollout may be created.
[[nodiscard]] std::vector<std::string> rolloutProblems(FleetStore& store, const NewRollout& rollout);

// Whether the document sets object.objectNumber (a renumbering write needs it).
[[nodiscard]] bool namesObjectNumber(const settings::Json& document);

// How queueing a checked job ended.
struct QueueOutcome {
    enum class Status { Queued, NoPassword, StoreFailed };
    Status status = Status::StoreFailed;
    std::int64_t id = 0;  // Queued: the job's id
    std::string reason;   // StoreFailed: what the store said
    [[nodiscard]] bool queued() const { return status == Status::Queued; }
};

// Records the object's read password when one is given, then queues the job.
// A change to a module is refused (nothing stored) while no password is
// recorded for its object and none is given.
[[nodiscard]] QueueOutcome queueJob(FleetStore& store, const NewJob& job, std::optional<std::uint16_t> password);

}  // namespace kv6::fleet
