#pragma once

#include <optional>
#include <string>

#include "fleet/rollout_record.h"
#include "settings/settings_json.h"

namespace kv6::fleet::api {

// Rollouts as the operator API sends them, and back for its clients
// (`kv6ctl fleet --server`).
[[nodiscard]] settings::Json rolloutJson(const RolloutRecord& r);
[[nodiscard]] RolloutRecord rolloutFromJson(const settings::Json& json);
[[nodiscard]] settings::Json waveJson(const RolloutWaveStatus& w);
[[nodiscard]] RolloutWaveStatus waveFromJson(const settings::Json& json);

// POST /api/v1/rollouts: {"name", "settings": {...} | "prg": BASE64, "target":
// "tag:T" | "objects" | "all", "objects": [...], "waves", "maxFailed", "dynamic"}.
[[nodiscard]] settings::Json newRolloutJson(const NewRollout& r);
// None, with the reason (naming the key), for a body that is no rollout.
[[nodiscard]] std::optional<NewRollout> newRolloutFromJson(const std::string& body, std::string& error);

}  // namespace kv6::fleet::api
