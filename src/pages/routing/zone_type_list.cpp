#include "pages/routing/zone_type_list.h"

#include <algorithm>

#include "image/field_codec.h"
#include "pages/common/field_rules.h"

namespace kv6::pages {

namespace {
// A type number of the side file: decimal, as large as the type byte allows.
constexpr int kMaxTypeNumber = 0x7FFFFFFF;
}  // namespace

ZoneTypeList::ZoneTypeList() : ZoneTypeList(presetLines()) {}

ZoneTypeList::ZoneTypeList(std::vector<std::string> lines) : m_lines(std::move(lines)) {
    m_numbers.reserve(m_lines.size());
    for (const std::string& line : m_lines)
        m_numbers.push_back(rules::parseIntInRange(image::DelimitedField(line, 3, '\t'), -kMaxTypeNumber, kMaxTypeNumber));
}

std::vector<std::string> ZoneTypeList::presetLines() {
    return {"Вход/Выход", "Объём", "Периметр", "24х часовая", "Пожарная"};
}

ZoneTypeList ZoneTypeList::fromFileLines(std::vector<std::string> fileLines) {
    fileLines.emplace_back(kExtraLine);
    return ZoneTypeList(std::move(fileLines));
}

std::string ZoneTypeList::field(int index, int n) const {
    if (index < 0 || index >= size()) return "FALSE";
    return image::DelimitedField(m_lines[static_cast<std::size_t>(index)], n, '\t');
}

std::string ZoneTypeList::name(int index) const { return field(index, 1); }
std::string ZoneTypeList::code(int index) const { return field(index, 2); }

std::optional<int> ZoneTypeList::number(int index) const {
    if (index < 0 || index >= size()) return std::nullopt;
    return m_numbers[static_cast<std::size_t>(index)];
}

bool ZoneTypeList::hasNumbers() const {
    return std::any_of(m_numbers.begin(), m_numbers.end(), [](const std::optional<int>& n) { return n.has_value(); });
}

std::optional<int> ZoneTypeList::findType(int typeNumber) const {
    int previous = kFirstFallbackNumber;
    for (int i = 0; i < size(); ++i) {
        const int n = m_numbers[static_cast<std::size_t>(i)].value_or(previous);
        if (n == typeNumber) return i;
        previous = n;
    }
    return std::nullopt;
}

}  // namespace kv6::pages
