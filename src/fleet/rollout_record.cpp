#include "fleet/rollout_record.h"

#include <algorithm>

#include <array>
#include <utility>

namespace kv6::fleet {

namespace {

constexpr std::array<std::pair<RolloutStep, std::string_view>, 6> kSteps{{
    {RolloutStep::Approve, "approve"},
    {RolloutStep::Start, "start"},
    {RolloutStep::Pause, "pause"},
    {RolloutStep::Resume, "resume"},
    {RolloutStep::Cancel, "cancel"},
    {RolloutStep::RetryFailed, "retry-failed"},
}};

}  // namespace

std::string_view rolloutStepName(RolloutStep step) {
    for (const auto& [s, name] : kSteps)
        if (s == step) return name;
    return {};
}

std::optional<RolloutStep> rolloutStepFromName(std::string_view name) {
    for (const auto& [s, n] : kSteps)
        if (n == name) return s;
    return std::nullopt;
}

bool validTagName(std::string_view tag) {
    if (tag.empty() || tag.size() > 64) return false;
    return std::all_of(tag.begin(), tag.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '_' ||
               c == '-';
    });
}

}  // namespace kv6::fleet
