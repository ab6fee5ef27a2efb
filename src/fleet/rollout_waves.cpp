#include "fleet/rollout_waves.h"

#include <charconv>

namespace kv6::fleet {

namespace {

constexpr std::size_t kMaxWaves = 20;

}  // namespace

std::optional<RolloutWaves> RolloutWaves::parse(std::string_view text, std::string& error) {
    RolloutWaves waves;
    waves.m_text = std::string(text);
    if (text.empty()) {
        error = "waves: a list such as 1%,10%,100% or 10,100,500 is needed";
        return std::nullopt;
    }
    std::optional<bool> percent;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t comma = text.find(',', from);
        std::string_view part = text.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from);
        const bool isPercent = !part.empty() && part.back() == '%';
        if (isPercent) part.remove_suffix(1);
        unsigned long long value = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || ec != std::errc() || end != part.data() + part.size() || value == 0) {
            error = "waves: '" + std::string(text.substr(from, comma - from)) + "' is no positive whole number or percentage";
            return std::nullopt;
        }
        if (percent && *percent != isPercent) {
            error = "waves: either all percentages or all counts";
            return std::nullopt;
        }
        percent = isPercent;
        if (isPercent && value > 100) {
            error = "waves: " + std::to_string(value) + "% is more than all modules";
            return std::nullopt;
        }
        if (!waves.m_steps.empty() && value <= waves.m_steps.back()) {
            error = "waves: each wave must reach further than the one before (" + std::string(text) + ")";
            return std::nullopt;
        }
        waves.m_steps.push_back(value);
        if (waves.m_steps.size() > kMaxWaves) {
            error = "waves: at most " + std::to_string(kMaxWaves) + " waves";
            return std::nullopt;
        }
        if (comma == std::string_view::npos) break;
        from = comma + 1;
    }
    waves.m_percent = *percent;
    if (waves.m_percent && waves.m_steps.back() != 100) {
        error = "waves: the last wave must be 100%";
        return std::nullopt;
    }
    return waves;
}

std::vector<std::size_t> RolloutWaves::ends(std::size_t total, std::string& error) const {
    if (total == 0) {
        error = "the target holds no module";
        return {};
    }
    if (!m_percent && m_steps.back() != total) {
        error = "waves: the last wave must take all " + std::to_string(total) + " modules, not " +
                std::to_string(m_steps.back());
        return {};
    }
    std::vector<std::size_t> ends;
    for (const unsigned long long step : m_steps) {
        // A share is rounded up, and each wave takes at least one module more.
        std::size_t end = m_percent ? static_cast<std::size_t>((step * total + 99) / 100) : static_cast<std::size_t>(step);
        if (!ends.empty() && end <= ends.back()) end = ends.back() + 1;
        if (end > total) end = total;
        if (!ends.empty() && end == ends.back()) continue;  // more waves than modules
        ends.push_back(end);
    }
    return ends;
}

}  // namespace kv6::fleet
