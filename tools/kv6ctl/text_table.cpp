#include "text_table.h"

#include <algorithm>

namespace kv6::ctl {

namespace {
std::size_t width(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}
}  // namespace

std::string TextTable::text() const {
    std::vector<std::size_t> widths(m_header.size(), 0);
    const auto measure = [&](const std::vector<std::string>& row) {
        for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) widths[i] = std::max(widths[i], width(row[i]));
    };
    measure(m_header);
    for (const auto& row : m_rows) measure(row);
    std::string out;
    const auto line = [&](const std::vector<std::string>& row) {
        std::string text;
        for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
            text += row[i];
            if (i + 1 < row.size()) text += std::string(widths[i] - width(row[i]) + 2, ' ');
        }
        out += text + "\n";
    };
    line(m_header);
    for (const auto& row : m_rows) line(row);
    return out;
}

}  // namespace kv6::ctl
