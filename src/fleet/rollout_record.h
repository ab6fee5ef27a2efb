#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/fleet_job.h"

namespace kv6::fleet {

// A rollout's states, as the store keeps them and the operator reads them.
inline constexpr std::string_view kRolloutAwaiting = "awaiting approval";
inline constexpr std::string_view kRolloutApproved = "approved";
inline constexpr std::string_view kRolloutRunning = "running";
inline constexpr std::string_view kRolloutPaused = "paused";
inline constexpr std::string_view kRolloutHalted = "halted";
inline constexpr std::string_view kRolloutFinished = "finished";
inline constexpr std::string_view kRolloutCancelled = "cancelled";

// Rollouts of more modules than this need an admin's approval.
inline constexpr long long kRolloutAdminAbove = 1000;

// A write to many modules as the operator creates it: the payload kept once,
// the targets resolved and split into waves at once.
struct NewRollout {
    std::string name;
    WriteFormat format = WriteFormat::None;
    std::vector<std::uint8_t> payload;
    std::string target;                // "tag:T", "objects" or "all"
    std::vector<std::string> objects;  // target "objects": these
    std::string waves;                 // "1%,10%,100%" or counts
    std::string maxFailed;             // "5%" or a count
    bool dynamic = false;              // modules tagged later join the last wave
    std::string by;
};

struct RolloutRecord {
    std::int64_t id = 0;
    std::string name;
    std::string state;
    std::string target;
    std::string waves;
    std::string maxFailed;
    bool dynamic = false;
    int wave = 0;        // the wave running, 0 before the start
    int waveCount = 0;
    long long modules = 0;
    int halts = 0;
    std::string haltReason;  // the last halt's
    std::string createdBy;
    std::string createdAt;
    std::string approvedBy;
    std::string updatedAt;
};

// One wave's modules by their job's state, and its failures by reason.
struct RolloutWaveStatus {
    int wave = 0;
    long long size = 0;
    long long waiting = 0;  // no job yet: the wave has not started
    long long queued = 0;
    long long held = 0;
    long long running = 0;
    long long verified = 0;
    long long failed = 0;
    long long cancelled = 0;
    std::map<std::string, long long> failures;  // by reason
};

// What changed a rollout, as the store answers a step.
struct RolloutOutcome {
    enum class Status { Done, NotFound, Conflict, Invalid, Forbidden, StoreFailed };
    Status status = Status::StoreFailed;
    std::int64_t id = 0;
    std::string message;  // why not; or what was done
    [[nodiscard]] bool done() const { return status == Status::Done; }
};

enum class RolloutStep { Approve, Start, Pause, Resume, Cancel, RetryFailed };

[[nodiscard]] std::string_view rolloutStepName(RolloutStep step);

// A tag's name: 1..64 letters, digits, '.', '_' and '-'.
[[nodiscard]] bool validTagName(std::string_view tag);
[[nodiscard]] std::optional<RolloutStep> rolloutStepFromName(std::string_view name);

// What the server's driver did to the rollouts in one pass, for its log.
struct RolloutEvent {
    std::int64_t id = 0;
    std::string name;
    std::string what;  // "wave 2 started (27 modules)", "halted: ...", "finished", ...
    bool halted = false;
};

}  // namespace kv6::fleet
