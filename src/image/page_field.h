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
// text, and what it accepts (for error messages of `kv6ctl set`). Every page
// lists all its fields for each comparison of two images, so what a field
// accepts is a text that lives as long as the program, not a copy.
struct PageField {
    std::string key;
    std::string value;
    const char* accepts = "";
    FieldKind kind = FieldKind::Text;
};

}  // namespace kv6::image
