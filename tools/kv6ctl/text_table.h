#pragma once

#include <string>
#include <vector>

namespace kv6::ctl {

// Rows printed as columns aligned on the widest cell (UTF-8 counted by
// characters), a header line first.
class TextTable {
public:
    explicit TextTable(std::vector<std::string> header) : m_header(std::move(header)) {}
    void add(std::vector<std::string> row) { m_rows.push_back(std::move(row)); }
    [[nodiscard]] std::string text() const;

private:
    std::vector<std::string> m_header;
    std::vector<std::vector<std::string>> m_rows;
};

}  // namespace kv6::ctl
