#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv6::fleet {

// What a wave's modules did so far.
struct WaveTally {
    long long size = 0;     // modules in the wave
    long long pending = 0;  // no job yet, queued, held or running
    long long failed = 0;
};

// What a rollout does next, judged on its current wave.
enum class WaveDecision { Wait, NextWave, Finished, Halt };

// How many failures a wave may have: a share ("5%") or a count ("3"). The
// rollout halts as soon as a wave has more.
class FailureLimit {
public:
    [[nodiscard]] static std::optional<FailureLimit> parse(std::string_view text, std::string& error);

    // Whether `failed` of `size` modules is over the limit.
    [[nodiscard]] bool exceeded(long long failed, long long size) const;
    // A halt as soon as the failures pass the limit, even with jobs still
    // running; the next wave (or the end, after the last) only once nothing
    // of this one is left to run.
    [[nodiscard]] WaveDecision decide(const WaveTally& wave, bool lastWave) const;
    [[nodiscard]] const std::string& text() const { return m_text; }

private:
    unsigned long long m_value = 0;
    bool m_percent = false;
    std::string m_text;
};

}  // namespace kv6::fleet
