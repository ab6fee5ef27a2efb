#pragma once

#include <span>
#include <string>
#include <vector>

#include "image/page_model.h"
#include "pages/common/field_rules.h"

namespace kv6::pages {

// One exported field of a page model's values: its key, what it accepts, and
// how to read it as text and set it from text (false = value refused).
template <typename Values>
struct FieldBinding {
    const char* key;
    const char* accepts;
    std::string (*get)(const Values&);
    bool (*set)(Values&, const std::string&);
    image::FieldKind kind = image::FieldKind::Text;
};

template <typename Values>
[[nodiscard]] std::vector<image::PageField> listFields(std::span<const FieldBinding<Values>> bindings,
                                                       const Values& values) {
    std::vector<image::PageField> fields;
    fields.reserve(bindings.size());
    for (const auto& b : bindings) fields.push_back({b.key, b.get(values), b.accepts, b.kind});
    return fields;
}

// Sets the field named `key`; a refused value leaves `values` unchanged.
template <typename Values>
std::string setBoundField(std::span<const FieldBinding<Values>> bindings, Values& values,
                          const std::string& key, const std::string& value) {
    for (const auto& b : bindings) {
        if (key != b.key) continue;
        Values candidate = values;
        if (!b.set(candidate, value)) return rules::invalidValue(key, value, b.accepts);
        values = std::move(candidate);
        return {};
    }
    std::string message = "unknown key \"" + key + "\"; keys:";
    for (const auto& b : bindings) message += std::string(" ") + b.key;
    return message;
}

}  // namespace kv6::pages
