#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv6::fleet {

// How a rollout's modules are split into waves, as the operator writes it:
// cumulative percentages ("1%,10%,100%": wave 1 takes 1 % of the modules,
// wave 2 up to 10 %, the last all of them) or cumulative counts
// ("10,100,500"). Each wave takes at least one module more than the one before.
class RolloutWaves {
public:
    // None, with the reason in `error`, for a text that is no such list.
    [[nodiscard]] static std::optional<RolloutWaves> parse(std::string_view text, std::string& error);

    // Where each wave ends in the ordered list of `total` modules (cumulative,
    // the last one `total`). Empty, with the reason, when the counts do not fit
    // the total (the last count must be the total) or there is no module at all.
    [[nodiscard]] std::vector<std::size_t> ends(std::size_t total, std::string& error) const;
    [[nodiscard]] std::size_t count() const { return m_steps.size(); }
    [[nodiscard]] const std::string& text() const { return m_text; }

private:
    std::vector<unsigned long long> m_steps;  // percent or count, increasing
    bool m_percent = false;
    std::string m_text;
};

}  // namespace kv6::fleet
