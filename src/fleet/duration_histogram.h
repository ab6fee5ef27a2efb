#pragma once

#include <array>
#include <string>
#include <string_view>

namespace kv6::fleet {

// How long things took, counted into fixed buckets as monitoring systems
// read them: a job from its claim to its end, a statement of the store.
class DurationHistogram {
public:
    // Upper bounds in seconds; what takes longer counts only in the total.
    static constexpr std::array<double, 12> kBounds{0.005, 0.025, 0.1, 0.5, 1, 5, 10, 30, 60, 120, 300, 600};

    void observe(double seconds);

    [[nodiscard]] long long count() const { return m_count; }
    [[nodiscard]] double sum() const { return m_sum; }
    // How many took at most kBounds[i] (each bucket holds the ones below it too).
    [[nodiscard]] long long atMost(std::size_t i) const;

    // The Prometheus text lines of the series `name` with `labels` (as
    // `kind="write"`, or empty), without HELP and TYPE.
    [[nodiscard]] std::string series(std::string_view name, std::string_view labels) const;

private:
    std::array<long long, kBounds.size()> m_within{};  // by the first bound each fits
    long long m_count = 0;
    double m_sum = 0;
};

}  // namespace kv6::fleet
