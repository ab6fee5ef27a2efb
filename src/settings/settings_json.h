#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "image/config_document.h"

namespace kv6::settings {

// Objects keep their keys in the order written: pages in tab order, fields in
// page order.
using Json = nlohmann::ordered_json;

inline constexpr const char* kFormatName = "kv6-settings";
inline constexpr int kFormatVersion = 1;

// Every page's fields: {"object": {"objectNumber": "123456", ...}, "gsm": ...}.
// Numbers as JSON numbers, booleans as JSON booleans, "no selection" as null,
// everything else as strings, exactly the texts `kv6ctl show` prints.
[[nodiscard]] Json pagesToJson(const image::ConfigDocument& document);

// The settings file: a small header, then the pages.
[[nodiscard]] Json exportDocument(const image::ConfigDocument& document);

// Parses JSON text. On failure returns false and a message with the line and
// column where the text stops being JSON.
bool parseJson(std::string_view text, Json& out, std::string& error);

// Sets every field the document holds (a partial document sets only its
// fields). Returns every problem found, each naming its key; when there are
// problems the document's pages hold a partial result and must be discarded.
[[nodiscard]] std::vector<std::string> applyJson(image::ConfigDocument& document, const Json& json);

// The problems of the document's shape alone (header, pages, keys, kinds of
// value), without setting anything: whether a value is accepted depends on
// the image it is applied to.
[[nodiscard]] std::vector<std::string> checkJson(const image::ConfigDocument& document, const Json& json);

}  // namespace kv6::settings
