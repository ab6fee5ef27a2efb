#pragma once

#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "image/page_model.h"

namespace kv6::pages {

// Marks the kind of a page's fields by key: a rule "function" matches the key
// "function" and the numbered keys "function1".."function10". Fields no rule
// names stay texts.
inline void markFieldKinds(std::vector<image::PageField>& fields,
                           std::initializer_list<std::pair<std::string_view, image::FieldKind>> rules) {
    for (image::PageField& field : fields) {
        const std::string_view key = field.key;
        for (const auto& [name, kind] : rules) {
            if (key.substr(0, name.size()) != name) continue;
            const std::string_view rest = key.substr(name.size());
            if (rest.find_first_not_of("0123456789") == std::string_view::npos) field.kind = kind;
        }
    }
}

}  // namespace kv6::pages
