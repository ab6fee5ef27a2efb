#include "fleet/api/rollout_json.h"

#include <algorithm>
#include <iterator>

#include "fleet/api/job_request.h"

namespace kv6::fleet::api {

namespace {

using settings::Json;

std::string text(const Json& json, const char* key) {
    const auto found = json.find(key);
    return found != json.end() && found->is_string() ? found->get<std::string>() : std::string();
}

long long number(const Json& json, const char* key) {
    const auto found = json.find(key);
    return found != json.end() && found->is_number_integer() ? found->get<long long>() : 0;
}

}  // namespace

Json rolloutJson(const RolloutRecord& r) {
    return {{"id", r.id},
            {"name", r.name},
            {"state", r.state},
            {"target", r.target},
            {"waves", r.waves},
            {"maxFailed", r.maxFailed},
            {"dynamic", r.dynamic},
            {"wave", r.wave},
            {"waveCount", r.waveCount},
            {"modules", r.modules},
            {"halts", r.halts},
            {"haltReason", r.haltReason},
            {"createdBy", r.createdBy},
            {"created", r.createdAt},
            {"approvedBy", r.approvedBy},
            {"updated", r.updatedAt}};
}

RolloutRecord rolloutFromJson(const Json& j) {
    RolloutRecord r;
    r.id = number(j, "id");
    r.name = text(j, "name");
    r.state = text(j, "state");
    r.target = text(j, "target");
    r.waves = text(j, "waves");
    r.maxFailed = text(j, "maxFailed");
    r.dynamic = j.contains("dynamic") && j["dynamic"].is_boolean() && j["dynamic"].get<bool>();
    r.wave = static_cast<int>(number(j, "wave"));
    r.waveCount = static_cast<int>(number(j, "waveCount"));
    r.modules = number(j, "modules");
    r.halts = static_cast<int>(number(j, "halts"));
    r.haltReason = text(j, "haltReason");
    r.createdBy = text(j, "createdBy");
    r.createdAt = text(j, "created");
    r.approvedBy = text(j, "approvedBy");
    r.updatedAt = text(j, "updated");
    return r;
}

Json waveJson(const RolloutWaveStatus& w) {
    Json failures = Json::object();
    for (const auto& [reason, count] : w.failures) failures[reason] = count;
    return {{"wave", w.wave},       {"size", w.size},       {"waiting", w.waiting}, {"queued", w.queued},
            {"held", w.held},       {"running", w.running}, {"verified", w.verified}, {"failed", w.failed},
            {"cancelled", w.cancelled}, {"failures", std::move(failures)}};
}

RolloutWaveStatus waveFromJson(const Json& j) {
    RolloutWaveStatus w;
    w.wave = static_cast<int>(number(j, "wave"));
    w.size = number(j, "size");
    w.waiting = number(j, "waiting");
    w.queued = number(j, "queued");
    w.held = number(j, "held");
    w.running = number(j, "running");
    w.verified = number(j, "verified");
    w.failed = number(j, "failed");
    w.cancelled = number(j, "cancelled");
    if (const auto f = j.find("failures"); f != j.end() && f->is_object())
        for (const auto& item : f->items())
            if (item.value().is_number_integer()) w.failures[item.key()] = item.value().get<long long>();
    return w;
}

Json newRolloutJson(const NewRollout& r) {
    Json body = {{"name", r.name}, {"target", r.target}, {"waves", r.waves}, {"maxFailed", r.maxFailed},
                 {"dynamic", r.dynamic}};
    const std::string payload(r.payload.begin(), r.payload.end());
    if (r.format == WriteFormat::Prg) {
        static const char* const kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string encoded;
        for (std::size_t i = 0; i < payload.size(); i += 3) {
            const unsigned n = (static_cast<unsigned char>(payload[i]) << 16) |
                               (i + 1 < payload.size() ? static_cast<unsigned char>(payload[i + 1]) << 8 : 0) |
                               (i + 2 < payload.size() ? static_cast<unsigned char>(payload[i + 2]) : 0);
            encoded += kDigits[(n >> 18) & 63];
            encoded += kDigits[(n >> 12) & 63];
            encoded += i + 1 < payload.size() ? kDigits[(n >> 6) & 63] : '=';
            encoded += i + 2 < payload.size() ? kDigits[n & 63] : '=';
        }
        body["prg"] = encoded;
    } else {
        body["settings"] = Json::parse(payload, nullptr, false);
    }
    if (r.target == "objects") body["objects"] = r.objects;
    return body;
}

std::optional<NewRollout> newRolloutFromJson(const std::string& body, std::string& error) {
    const Json json = Json::parse(body, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        error = "the body is no JSON object";
        return std::nullopt;
    }
    for (const auto& item : json.items()) {
        static const char* const kKeys[] = {"name", "settings", "prg", "target", "objects", "waves", "maxFailed", "dynamic"};
        if (std::find(std::begin(kKeys), std::end(kKeys), item.key()) == std::end(kKeys)) {
            error = "unknown key '" + item.key().substr(0, 64) + "'";
            return std::nullopt;
        }
    }
    NewRollout r;
    for (const char* key : {"name", "target", "waves", "maxFailed"}) {
        const auto found = json.find(key);
        if (found == json.end() || !found->is_string() || found->get_ref<const std::string&>().empty()) {
            error = std::string(key) + ": a text is needed";
            return std::nullopt;
        }
    }
    r.name = json["name"].get<std::string>();
    r.target = json["target"].get<std::string>();
    r.waves = json["waves"].get<std::string>();
    r.maxFailed = json["maxFailed"].get<std::string>();
    if (const auto d = json.find("dynamic"); d != json.end()) {
        if (!d->is_boolean()) {
            error = "dynamic: true or false is needed";
            return std::nullopt;
        }
        r.dynamic = d->get<bool>();
    }
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
        r.format = WriteFormat::Prg;
        r.payload.assign(bytes->begin(), bytes->end());
    } else {
        const Json& settings = json["settings"];
        if (!settings.is_object()) {
            error = "settings: a kv6-settings document (a JSON object) is needed";
            return std::nullopt;
        }
        const std::string dumped = settings.dump();
        r.format = WriteFormat::SettingsJson;
        r.payload.assign(dumped.begin(), dumped.end());
    }
    if (const auto objects = json.find("objects"); objects != json.end()) {
        if (r.target != "objects" || !objects->is_array()) {
            error = "objects: a list of object numbers, with \"target\": \"objects\", is needed";
            return std::nullopt;
        }
        for (const Json& o : *objects) {
            if (!o.is_string() || !validObjectNumber(o.get_ref<const std::string&>())) {
                error = "objects: each one to four letters or digits";
                return std::nullopt;
            }
            r.objects.push_back(o.get<std::string>());
        }
    } else if (r.target == "objects") {
        error = "objects: the list of object numbers is needed";
        return std::nullopt;
    }
    return r;
}

}  // namespace kv6::fleet::api
