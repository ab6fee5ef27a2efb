#include <algorithm>

#include "fleet/drift_query.h"

namespace kv6::fleet {

namespace {

bool objectNumber(std::string_view text) {
    return !text.empty() && text.size() <= 4 &&
           std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
           });
}

}  // namespace

std::optional<FleetTarget> FleetTarget::parse(std::string_view text, std::string& error) {
    FleetTarget target;
    if (text == "all") return target;
    if (text.starts_with("tag:") && text.size() > 4 && text.size() <= 68 &&
        text.find_first_of(" \t\r\n") == std::string_view::npos) {
        target.kind = Kind::Tag;
        target.tag = std::string(text.substr(4));
        return target;
    }
    error = "all, tag:NAME or a list of object numbers is needed, not '" + std::string(text.substr(0, 64)) + "'";
    return std::nullopt;
}

std::optional<FleetTarget> FleetTarget::objectList(std::vector<std::string> objects, std::string& error) {
    for (const std::string& object : objects)
        if (!objectNumber(object)) {
            error = "'" + object.substr(0, 64) + "' is no object number (one to four letters or digits)";
            return std::nullopt;
        }
    if (objects.empty()) {
        error = "no object number given";
        return std::nullopt;
    }
    std::sort(objects.begin(), objects.end());
    objects.erase(std::unique(objects.begin(), objects.end()), objects.end());
    FleetTarget target;
    target.kind = Kind::Objects;
    target.objects = std::move(objects);
    return target;
}

}  // namespace kv6::fleet
