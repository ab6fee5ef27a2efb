#include "image/field_snapshot.h"

#include <algorithm>

namespace kv6::image {

void FieldSnapshot::take(const std::vector<PageField>& fields) { m_fields = fields; }

std::optional<std::string> FieldSnapshot::remembered(const std::string& key) const {
    const auto it = std::find_if(m_fields.begin(), m_fields.end(), [&](const PageField& f) { return f.key == key; });
    if (it == m_fields.end()) return std::nullopt;
    return it->value;
}

bool FieldSnapshot::isChanged(const std::string& key, const std::string& value) const {
    const std::optional<std::string> before = remembered(key);
    return before && *before != value;
}

std::vector<std::string> FieldSnapshot::changedKeys(const std::vector<PageField>& current) const {
    std::vector<std::string> keys;
    // Pages list their fields in a fixed order: match by position first, by key otherwise.
    for (std::size_t i = 0; i < current.size(); ++i) {
        const PageField& field = current[i];
        const bool samePlace = i < m_fields.size() && m_fields[i].key == field.key;
        if (samePlace ? m_fields[i].value != field.value : isChanged(field.key, field.value))
            keys.push_back(field.key);
    }
    return keys;
}

}  // namespace kv6::image
