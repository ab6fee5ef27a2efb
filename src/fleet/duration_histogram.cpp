#include "fleet/duration_histogram.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kv6::fleet {

namespace {

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

}  // namespace

void DurationHistogram::observe(double seconds) {
    // A clock stepping back gives a negative time, a broken one NaN: both count as instant.
    if (!(seconds >= 0)) seconds = 0;
    const auto fits = std::lower_bound(kBounds.begin(), kBounds.end(), seconds);
    if (fits != kBounds.end()) ++m_within[static_cast<std::size_t>(fits - kBounds.begin())];
    ++m_count;
    m_sum += seconds;
}

long long DurationHistogram::atMost(std::size_t i) const {
    long long total = 0;
    for (std::size_t b = 0; b <= i && b < m_within.size(); ++b) total += m_within[b];
    return total;
}

std::string DurationHistogram::series(std::string_view name, std::string_view labels) const {
    const std::string base(name);
    const std::string prefix = labels.empty() ? std::string() : std::string(labels) + ",";
    const std::string own = labels.empty() ? std::string() : "{" + std::string(labels) + "}";
    std::string text;
    for (std::size_t i = 0; i < kBounds.size(); ++i)
        text += base + "_bucket{" + prefix + "le=\"" + number(kBounds[i]) + "\"} " + std::to_string(atMost(i)) + "\n";
    text += base + "_bucket{" + prefix + "le=\"+Inf\"} " + std::to_string(m_count) + "\n";
    text += base + "_sum" + own + " " + number(m_sum) + "\n";
    text += base + "_count" + own + " " + std::to_string(m_count) + "\n";
    return text;
}

}  // namespace kv6::fleet
