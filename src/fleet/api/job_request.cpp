#include "fleet/api/job_request.h"

#include <set>

#include "image/image.h"

namespace kv6::fleet::api {

namespace {

const std::set<std::string, std::less<>> kKeys = {"object", "kind",  "settings", "prg",     "password",
                                                   "newPassword", "force", "renumber", "passwordFromFile"};

// A password as the module keeps it: 0..65535.
std::optional<std::uint16_t> passwordValue(const settings::Json& value) {
    if (!value.is_number_integer()) return std::nullopt;
    const auto number = value.get<long long>();
    if (number < 0 || number > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(number);
}

bool flag(const settings::Json& body, const char* key, bool& value, std::string& error) {
    const auto found = body.find(key);
    if (found == body.end()) return true;
    if (!found->is_boolean()) {
        error = std::string(key) + ": true or false is needed";
        return false;
    }
    value = found->get<bool>();
    return true;
}

}  // namespace

bool validObjectNumber(std::string_view text) {
    if (text.empty() || text.size() > 4) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    return true;
}

std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text) {
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    if (text.size() % 4 == 1) return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(text.size() * 3 / 4);
    unsigned buffer = 0;
    int bits = 0;
    for (const char c : text) {
        int value = -1;
        if (c >= 'A' && c <= 'Z') value = c - 'A';
        else if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
        else if (c >= '0' && c <= '9') value = c - '0' + 52;
        else if (c == '+') value = 62;
        else if (c == '/') value = 63;
        if (value < 0) return std::nullopt;
        buffer = (buffer << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

std::optional<JobRequest> JobRequest::parse(std::string_view body, std::string& error) {
    const settings::Json json = settings::Json::parse(body.begin(), body.end(), nullptr, false);
    if (json.is_discarded()) {
        error = "the body is not JSON";
        return std::nullopt;
    }
    if (!json.is_object()) {
        error = "the body is no JSON object";
        return std::nullopt;
    }
    for (const auto& item : json.items())
        if (!kKeys.contains(item.key())) {
            error = "unknown key '" + item.key().substr(0, 64) + "'";
            return std::nullopt;
        }
    JobRequest request;
    NewJob& job = request.job;
    const auto object = json.find("object");
    if (object == json.end() || !object->is_string() || !validObjectNumber(object->get_ref<const std::string&>())) {
        error = "object: one to four letters or digits are needed";
        return std::nullopt;
    }
    job.object = object->get<std::string>();
    const auto kindValue = json.find("kind");
    const auto kind = kindValue != json.end() && kindValue->is_string()
                          ? kindFromName(kindValue->get_ref<const std::string&>())
                          : std::nullopt;
    if (!kind) {
        error = "kind: read, write, password, clear-journal or reset is needed";
        return std::nullopt;
    }
    job.kind = *kind;
    if (const auto password = json.find("password"); password != json.end()) {
        request.password = passwordValue(*password);
        if (!request.password) {
            error = "password: a number 0..65535 is needed";
            return std::nullopt;
        }
    }
    const auto newPassword = json.find("newPassword");
    if (job.kind == JobKind::Password) {
        const auto value = newPassword == json.end() ? std::nullopt : passwordValue(*newPassword);
        if (!value) {
            error = "newPassword: a password job needs a number 0..65535";
            return std::nullopt;
        }
        job.newPassword = *value;
    } else if (newPassword != json.end()) {
        error = "newPassword: belongs to password jobs";
        return std::nullopt;
    }
    if (!flag(json, "force", job.force, error) || !flag(json, "renumber", job.options.renumber, error) ||
        !flag(json, "passwordFromFile", job.options.passwordFromFile, error))
        return std::nullopt;
    if (job.kind == JobKind::Reset && !job.force) {
        error = "force: reset restores factory settings: it needs \"force\": true";
        return std::nullopt;
    }
    if (job.kind != JobKind::Reset && json.contains("force")) {
        error = "force: belongs to reset jobs";
        return std::nullopt;
    }
    const auto settingsValue = json.find("settings");
    const auto prg = json.find("prg");
    if (job.kind != JobKind::Write) {
        for (const char* key : {"settings", "prg", "renumber", "passwordFromFile"})
            if (json.contains(key)) {
                error = std::string(key) + ": belongs to write jobs";
                return std::nullopt;
            }
        return request;
    }
    if ((settingsValue == json.end()) == (prg == json.end())) {
        error = "settings: a write needs either \"settings\" (a kv6-settings document) or \"prg\" (base64)";
        return std::nullopt;
    }
    if (settingsValue != json.end()) {
        if (!settingsValue->is_object()) {
            error = "settings: a kv6-settings document (a JSON object) is needed";
            return std::nullopt;
        }
        if (job.options.passwordFromFile) {
            error = "passwordFromFile: a settings document holds no read password: it takes a .prg";
            return std::nullopt;
        }
        // Read back as kv6ctl reads a settings file: its format and version checked.
        const std::string text = settingsValue->dump();
        settings::Json document;
        std::string problem;
        if (!settings::parseJson(text, document, problem)) {
            error = "settings: " + problem;
            return std::nullopt;
        }
        request.settings = std::move(document);
        job.format = WriteFormat::SettingsJson;
        job.payload.assign(text.begin(), text.end());
        return request;
    }
    const auto bytes = prg->is_string() ? decodeBase64(prg->get_ref<const std::string&>()) : std::nullopt;
    if (!bytes) {
        error = "prg: the .prg's bytes in base64 are needed";
        return std::nullopt;
    }
    if (bytes->size() != image::kImageSize) {
        error = "prg: a .prg holds exactly " + std::to_string(image::kImageSize) + " bytes, this one " +
                std::to_string(bytes->size());
        return std::nullopt;
    }
    job.format = WriteFormat::Prg;
    job.payload = *bytes;
    return request;
}

}  // namespace kv6::fleet::api
