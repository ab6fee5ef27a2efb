#include "settings/settings_json.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace kv6::settings {

namespace {

using image::FieldKind;
using image::PageField;

std::optional<long long> parseInteger(const std::string& text) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

Json typedValue(const PageField& field) {
    switch (field.kind) {
        case FieldKind::Number:
        case FieldKind::Choice:
            if (const auto number = parseInteger(field.value)) return *number;
            if (field.kind == FieldKind::Choice && field.value.empty()) return nullptr;
            break;
        case FieldKind::Boolean:
            if (field.value == "true" || field.value == "false") return field.value == "true";
            break;
        case FieldKind::Text:
            break;
    }
    // A value the page shows but its kind cannot hold stays text, so nothing is lost.
    return field.value;
}

const char* kindName(FieldKind kind) {
    switch (kind) {
        case FieldKind::Number: return "a number";
        case FieldKind::Boolean: return "true or false";
        case FieldKind::Choice: return "a number or null";
        case FieldKind::Text: break;
    }
    return "a string";
}

// The text setField takes for a JSON value of the field's kind; nullopt for a wrong type.
std::optional<std::string> valueText(const Json& value, FieldKind kind) {
    if (value.is_string()) return value.get<std::string>();  // what show printed, of any kind
    switch (kind) {
        case FieldKind::Number:
        case FieldKind::Choice:
            // Read as stored: a number past long long must not wrap into a small one.
            if (value.is_number_unsigned()) return std::to_string(value.get<unsigned long long>());
            if (value.is_number_integer()) return std::to_string(value.get<long long>());
            if (kind == FieldKind::Choice && value.is_null()) return std::string();
            return std::nullopt;
        case FieldKind::Boolean:
            if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
            return std::nullopt;
        case FieldKind::Text:
            return std::nullopt;
    }
    return std::nullopt;
}

std::string lineAndColumn(std::string_view text, std::size_t byte) {
    byte = std::min(byte, text.size());
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i + 1 < byte; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

struct Assignment {
    image::PageModel* page;
    std::string key;
    std::string value;
};

// A wrongly typed value for a message: arrays and objects by kind only (a
// settings file may nest them as deep as its size allows), other values as
// written, cut short.
std::string shortDescription(const Json& value) {
    if (value.is_array()) return "an array";
    if (value.is_object()) return "an object";
    constexpr std::size_t kMaxShown = 60;
    std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    if (text.size() <= kMaxShown) return text;
    std::size_t cut = kMaxShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    text = text.substr(0, cut) + "...";
    return text;
}

}  // namespace

Json pagesToJson(const image::ConfigDocument& document) {
    Json root = Json::object();
    for (const image::PageModel* page : document.pages()) {
        Json fields = Json::object();
        for (const PageField& field : page->fields()) fields[field.key] = typedValue(field);
        root[page->pageKey()] = std::move(fields);
    }
    return root;
}

Json exportDocument(const image::ConfigDocument& document) {
    Json root = Json::object();
    root["format"] = kFormatName;
    root["version"] = kFormatVersion;
    std::string objectNumber;
    if (const image::PageModel* object = document.page("object"))
        for (const PageField& field : object->fields())
            if (field.key == "objectNumber") objectNumber = field.value;
    root["objectNumber"] = objectNumber;
    const Json pages = pagesToJson(document);
    for (const auto& [key, value] : pages.items()) root[key] = value;
    return root;
}

bool parseJson(std::string_view text, Json& out, std::string& error) {
    try {
        out = Json::parse(text.begin(), text.end());
        return true;
    } catch (const Json::parse_error& e) {
        std::string what = e.what();
        // "[json.exception.parse_error.101] parse error at line 1, column 2: ..." -> the part after the position.
        const std::size_t colon = what.find(": ", what.find("parse error"));
        const std::string reason = colon == std::string::npos ? what : what.substr(colon + 2);
        error = "not valid JSON at " + lineAndColumn(text, e.byte) + ": " + reason;
        return false;
    } catch (const Json::exception& e) {
        // Well-formed but unreadable, such as a number past the range of a double.
        const std::string what = e.what();
        const std::size_t bracket = what.find("] ");
        error = "not readable JSON: " + (bracket == std::string::npos ? what : what.substr(bracket + 2));
        return false;
    }
}

namespace {

// The document's shape: its header, pages, keys and value kinds. What the
// values say is left to the pages' own checks.
std::vector<Assignment> collectAssignments(const image::ConfigDocument& document, const Json& json,
                                           std::vector<std::string>& problems) {
    std::vector<Assignment> pending;
    if (!json.is_object()) {
        problems.push_back("the settings must be a JSON object of pages");
        return pending;
    }
    for (const auto& [pageKey, fields] : json.items()) {
        if (pageKey == "format") {
            if (fields != kFormatName) problems.push_back("format: expected \"" + std::string(kFormatName) + "\"");
            continue;
        }
        if (pageKey == "version") {
            if (!fields.is_number_integer() || fields.get<long long>() < 1 || fields.get<long long>() > kFormatVersion)
                problems.push_back("version: this tool reads version " + std::to_string(kFormatVersion));
            continue;
        }
        if (pageKey == "objectNumber") continue;  // the header's copy; object.objectNumber is the field
        image::PageModel* page = document.page(pageKey);
        if (page == nullptr) {
            std::string message = pageKey + ": unknown page; pages:";
            for (const image::PageModel* p : document.pages()) message += " " + p->pageKey();
            problems.push_back(message);
            continue;
        }
        if (!fields.is_object()) {
            problems.push_back(pageKey + ": expected an object of fields");
            continue;
        }
        const std::vector<PageField> known = page->fields();
        for (const auto& item : fields.items()) {
            const std::string& key = item.key();  // a named reference: clang 14 cannot capture a binding
            const Json& value = item.value();
            const auto field = std::find_if(known.begin(), known.end(), [&](const PageField& f) { return f.key == key; });
            const std::string name = pageKey + "." + key;
            if (field == known.end()) {
                problems.push_back(name + ": unknown key");
                continue;
            }
            const auto text = valueText(value, field->kind);
            if (!text) {
                problems.push_back(name + ": expected " + kindName(field->kind) + ", got " + shortDescription(value));
                continue;
            }
            pending.push_back({page, key, *text});
        }
    }
    return pending;
}

}  // namespace

std::vector<std::string> checkJson(const image::ConfigDocument& document, const Json& json) {
    std::vector<std::string> problems;
    (void)collectAssignments(document, json, problems);
    return problems;
}

std::vector<std::string> applyJson(image::ConfigDocument& document, const Json& json) {
    std::vector<std::string> problems;
    std::vector<Assignment> pending = collectAssignments(document, json, problems);

    // Some fields depend on others (codes follow the code length): what a
    // pass refuses is tried again while another pass still sets something.
    while (!pending.empty()) {
        std::vector<Assignment> refused;
        std::vector<std::string> reasons;
        for (Assignment& a : pending) {
            std::string error = a.page->assignField(a.key, a.value);
            if (error.empty()) continue;
            reasons.push_back(a.page->pageKey() + (error.rfind(a.key + ":", 0) == 0 ? "." : ": ") + error);
            refused.push_back(std::move(a));
        }
        if (refused.size() == pending.size()) {
            problems.insert(problems.end(), reasons.begin(), reasons.end());
            break;
        }
        pending = std::move(refused);
    }
    return problems;
}

}  // namespace kv6::settings
