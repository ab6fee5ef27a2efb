#include "fleet/failure_limit.h"

#include <charconv>

namespace kv6::fleet {

std::optional<FailureLimit> FailureLimit::parse(std::string_view text, std::string& error) {
    FailureLimit limit;
    limit.m_text = std::string(text);
    limit.m_percent = !text.empty() && text.back() == '%';
    if (limit.m_percent) text.remove_suffix(1);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), limit.m_value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || (limit.m_percent && limit.m_value > 100)) {
        error = "max-failed: a share such as 5% or a count such as 3 is needed, not '" + limit.m_text + "'";
        return std::nullopt;
    }
    return limit;
}

bool FailureLimit::exceeded(long long failed, long long size) const {
    if (failed <= 0) return false;
    if (!m_percent) return static_cast<unsigned long long>(failed) > m_value;
    return static_cast<unsigned long long>(failed) * 100 > m_value * static_cast<unsigned long long>(size);
}

WaveDecision FailureLimit::decide(const WaveTally& wave, bool lastWave) const {
    if (exceeded(wave.failed, wave.size)) return WaveDecision::Halt;
    if (wave.pending > 0) return WaveDecision::Wait;
    return lastWave ? WaveDecision::Finished : WaveDecision::NextWave;
}

}  // namespace kv6::fleet
