#pragma once

#include <optional>
#include <string>
#include <vector>

#include "image/page_field.h"

namespace kv6::image {

// What a page showed after its last decode, write or save: its fields by key.
// A field whose value now differs counts as changed; one the snapshot does
// not know (nothing remembered yet) never does.
class FieldSnapshot {
public:
    void take(const std::vector<PageField>& fields);
    void clear() { m_fields.clear(); }

    [[nodiscard]] bool empty() const { return m_fields.empty(); }
    [[nodiscard]] std::optional<std::string> remembered(const std::string& key) const;
    [[nodiscard]] bool isChanged(const std::string& key, const std::string& value) const;
    // The keys of `current` whose values differ from the remembered ones, in field order.
    [[nodiscard]] std::vector<std::string> changedKeys(const std::vector<PageField>& current) const;

private:
    std::vector<PageField> m_fields;
};

}  // namespace kv6::image
