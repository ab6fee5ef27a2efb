#include "fleet/api/drift_request.h"

#include <algorithm>

#include "fleet/api/job_request.h"

namespace kv6::fleet::api {

namespace {

using settings::Json;

std::optional<FleetTarget> parseTarget(const Json& value, std::string& error) {
    std::optional<FleetTarget> target;
    std::string why;
    if (value.is_string()) {
        target = FleetTarget::parse(value.get_ref<const std::string&>(), why);
    } else if (value.is_array()) {
        std::vector<std::string> objects;
        for (const Json& item : value) {
            if (!item.is_string()) {
                why = "each object number is a string";
                break;
            }
            objects.push_back(item.get<std::string>());
        }
        if (why.empty()) target = FleetTarget::objectList(std::move(objects), why);
    } else {
        why = "\"all\", \"tag:NAME\" or a list of object numbers is needed";
    }
    if (!target) error = "target: " + why;
    return target;
}

}  // namespace

std::optional<DriftRequest> DriftRequest::parse(std::string_view body, std::string& error) {
    const Json json = Json::parse(body, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        error = "the body is no JSON object";
        return std::nullopt;
    }
    for (const auto& item : json.items())
        if (item.key() != "settings" && item.key() != "prg" && item.key() != "target") {
            error = "unknown key '" + item.key().substr(0, 64) + "'";
            return std::nullopt;
        }
    DriftRequest request;
    const auto target = json.find("target");
    if (target == json.end()) {
        error = "target: \"all\", \"tag:NAME\" or a list of object numbers is needed";
        return std::nullopt;
    }
    const auto parsed = parseTarget(*target, error);
    if (!parsed) return std::nullopt;
    request.target = *parsed;
    if (json.contains("settings") == json.contains("prg")) {
        error = "settings: either \"settings\" (a kv6-settings document) or \"prg\" (base64) is needed";
        return std::nullopt;
    }
    if (const auto prg = json.find("prg"); prg != json.end()) {
        const auto bytes = prg->is_string() ? decodeBase64(prg->get_ref<const std::string&>()) : std::nullopt;
        if (!bytes || bytes->size() != image::kImageSize) {
            error = "prg: the bytes of a .prg (" + std::to_string(image::kImageSize) + ") in base64 are needed";
            return std::nullopt;
        }
        request.source.format = WriteFormat::Prg;
        std::copy(bytes->begin(), bytes->end(), request.source.prg.begin());
        return request;
    }
    const Json& document = json["settings"];
    if (!document.is_object()) {
        error = "settings: a kv6-settings document (a JSON object) is needed";
        return std::nullopt;
    }
    request.source.format = WriteFormat::SettingsJson;
    request.source.document = document;
    return request;
}

}  // namespace kv6::fleet::api
