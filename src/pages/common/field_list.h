#pragma once

#include <functional>
#include <string>
#include <vector>

#include "image/page_model.h"
#include "pages/common/field_rules.h"

namespace kv6::pages {

// One exported field of a page whose fields repeat per number, so that each
// binding may carry its index: key, what it accepts, read as text, set from
// text (false = refused).
template <typename Values>
struct FieldEntry {
    std::string key;
    const char* accepts;
    std::function<std::string(const Values&)> get;
    std::function<bool(Values&, const std::string&)> set;
};

template <typename Values>
using FieldList = std::vector<FieldEntry<Values>>;

template <typename Values>
[[nodiscard]] std::vector<image::PageField> listFieldEntries(const FieldList<Values>& list, const Values& values) {
    std::vector<image::PageField> fields;
    fields.reserve(list.size());
    for (const auto& f : list) fields.push_back({f.key, f.get(values), f.accepts});
    return fields;
}

// Sets the field named `key` by the field's rule; a refused value leaves
// `values` as it was.
template <typename Values>
std::string setFieldEntry(const FieldList<Values>& list, Values& values, const std::string& key,
                          const std::string& value) {
    for (const auto& f : list) {
        if (key != f.key) continue;
        Values candidate = values;
        if (!f.set(candidate, value)) return rules::invalidValue(key, value, f.accepts);
        values = std::move(candidate);
        return {};
    }
    std::string message = "unknown key \"" + key + "\"; keys:";
    for (const auto& f : list) message += " " + f.key;
    return message;
}

}  // namespace kv6::pages
