#pragma once

#include <string>

namespace kv6::image {

// What a field's text value stands for, so that a typed export (JSON) can
// give numbers as numbers and booleans as booleans.
enum class FieldKind {
    Text,     // any text, digit texts included ("0123" stays a text)
    Number,   // a decimal number
    Boolean,  // "true" / "false"
    Choice,   // a decimal number, or empty for "no selection"
};

// One exported field of a page: a stable lowerCamelCase key, its value as
// text, and what it accepts (for error messages of `kv6ctl set`).
struct PageField {
    std::string key;
    std::string value;
    std::string accepts;
    FieldKind kind = FieldKind::Text;
};

}  // namespace kv6::image
