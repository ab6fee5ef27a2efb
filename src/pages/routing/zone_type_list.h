#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kv6::pages {

// The zone types of the side file paramp: lines of three tab-separated
// fields (name, default Contact ID code, type number). Without the file the
// list holds the five preset names, which carry no code and no number.
class ZoneTypeList {
public:
    // The line appended to a loaded list.
    static constexpr const char* kExtraLine = "24х часовая\t000\t35";
    // The number the walk starts from when the first entry has none.
    static constexpr int kFirstFallbackNumber = 2;

    ZoneTypeList();
    explicit ZoneTypeList(std::vector<std::string> lines);

    // The preset names of the main window.
    [[nodiscard]] static std::vector<std::string> presetLines();
    // The lines of a loaded paramp with the extra line appended.
    [[nodiscard]] static ZoneTypeList fromFileLines(std::vector<std::string> fileLines);

    [[nodiscard]] const std::vector<std::string>& lines() const { return m_lines; }
    [[nodiscard]] int size() const { return static_cast<int>(m_lines.size()); }
    // Field 1 and 2 of an entry ("FALSE" when the line has no such field).
    [[nodiscard]] std::string name(int index) const;
    [[nodiscard]] std::string code(int index) const;
    // Field 3 as a decimal number, when it is one.
    [[nodiscard]] std::optional<int> number(int index) const;
    // Whether any entry carries a type number (the preset names do not).
    [[nodiscard]] bool hasNumbers() const;
    // The first entry whose number (walked: an entry without one takes the
    // previous entry's, the first one 2) equals the type.
    [[nodiscard]] std::optional<int> findType(int typeNumber) const;

private:
    [[nodiscard]] std::string field(int index, int n) const;
    std::vector<std::string> m_lines;
    // Field 3 of every line, parsed once: the zone grid looks types up per row.
    std::vector<std::optional<int>> m_numbers;
};

}  // namespace kv6::pages
