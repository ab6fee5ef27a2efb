#include "fleet/fleet_job.h"

#include <array>
#include <utility>

namespace kv6::fleet {

namespace {

constexpr std::array<std::pair<JobKind, std::string_view>, 5> kKinds{{
    {JobKind::Read, "read"},
    {JobKind::Write, "write"},
    {JobKind::Password, "password"},
    {JobKind::ClearJournal, "clear-journal"},
    {JobKind::Reset, "reset"},
}};

constexpr std::array<std::pair<JobState, std::string_view>, 6> kStates{{
    {JobState::Queued, "queued"},
    {JobState::Running, "running"},
    {JobState::Done, "done"},
    {JobState::Failed, "failed"},
    {JobState::Cancelled, "cancelled"},
    {JobState::Held, "held"},
}};

}  // namespace

std::string_view kindName(JobKind kind) {
    for (const auto& [k, name] : kKinds)
        if (k == kind) return name;
    return {};
}

std::optional<JobKind> kindFromName(std::string_view name) {
    for (const auto& [k, n] : kKinds)
        if (n == name) return k;
    return std::nullopt;
}

std::string_view stateName(JobState state) {
    for (const auto& [s, name] : kStates)
        if (s == state) return name;
    return {};
}

std::optional<JobState> stateFromName(std::string_view name) {
    for (const auto& [s, n] : kStates)
        if (n == name) return s;
    return std::nullopt;
}

bool changesModule(JobKind kind) { return kind != JobKind::Read; }

std::string optionsText(const WriteOptions& options) {
    std::string text;
    if (options.renumber) text += "--renumber";
    if (options.passwordFromFile) text += std::string(text.empty() ? "" : " ") + "--password-from-file";
    return text;
}

}  // namespace kv6::fleet
