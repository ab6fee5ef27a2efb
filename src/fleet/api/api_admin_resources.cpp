// The operator API's keys and the password back-off's lock-outs: admins
// change them, every key reads the lock-outs.
#include <algorithm>
#include <cctype>

#include "fleet/api/api_resource_helpers.h"
#include "fleet/api/api_role.h"

namespace kv6::fleet::api {

namespace {

using namespace resources;

Json lockoutJson(const LockoutRecord& r) {
    return {{"kind", lockoutKindName(r.kind)},
            {"subject", r.subject},
            {"mismatches", r.mismatches},
            {"last", r.lastAt},
            {"lockedUntil", r.lockedUntil}};
}

// Objects before addresses, each by its text's bytes: an order of the API's
// own, whatever collation the database sorts text by.
std::string lockoutKey(const LockoutRecord& r) { return (r.kind == LockoutKind::Object ? "0" : "1") + r.subject; }

// An object number or an address as a module's connection names it; nothing
// that could break a log line.
bool validLockoutSubject(const std::string& subject) {
    return !subject.empty() && subject.size() <= 64 &&
           std::all_of(subject.begin(), subject.end(), [](unsigned char c) {
               return std::isalnum(c) != 0 || c == '.' || c == ':' || c == '%' || c == '_' || c == '-';
           });
}

}  // namespace

ApiResponse ApiService::listKeys() {
    Json list = Json::array();
    for (const ApiKeyRecord& k : m_store.apiKeys())
        list.push_back({{"name", k.name}, {"role", k.role}, {"created", k.created}, {"revoked", k.revoked}});
    return jsonResponse(200, Json{{"items", std::move(list)}});
}

ApiResponse ApiService::addKey(const ApiRequest& request, const Caller& caller) {
    const Json body = Json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) return errorResponse(400, "the body is no JSON object");
    for (const auto& item : body.items())
        if (item.key() != "name" && item.key() != "role" && item.key() != "sha256")
            return errorResponse(400, "unknown key '" + item.key().substr(0, 64) + "'");
    const auto name = body.find("name");
    if (name == body.end() || !name->is_string() || !validKeyName(name->get_ref<const std::string&>()))
        return errorResponse(400, "name: 1..64 letters, digits, '.', '_', '@' or '-' are needed");
    const auto role = body.find("role");
    if (role == body.end() || !role->is_string() || !roleFromName(role->get_ref<const std::string&>()))
        return errorResponse(400, "role: viewer, operator or admin is needed");
    // A client that made the key itself sends only its SHA-256, and gets no key back.
    const auto given = body.find("sha256");
    if (given != body.end() &&
        (!given->is_string() || given->get_ref<const std::string&>().size() != 64 ||
         given->get_ref<const std::string&>().find_first_not_of("0123456789abcdef") != std::string::npos))
        return errorResponse(400, "sha256: 64 lowercase hexadecimal digits are needed");
    const std::string key = given == body.end() ? m_hooks.newKey() : std::string();
    const std::string hash = given == body.end() ? m_hooks.sha256Hex(key) : given->get<std::string>();
    if (!m_store.addApiKey(name->get<std::string>(), role->get<std::string>(), hash))
        return errorResponse(409, "name: " + m_store.lastError());
    log("api: key '" + caller.name + "' added key '" + name->get<std::string>() + "' (" + role->get<std::string>() +
        ") from " + request.peer);
    Json answer{{"name", *name}, {"role", *role}};
    if (!key.empty()) answer["key"] = key;
    return jsonResponse(201, answer);
}

ApiResponse ApiService::revokeKey(const ApiRequest& request, const Caller& caller, const std::string& name) {
    const int revoked = m_store.revokeApiKey(name);
    if (revoked < 0) return errorResponse(503, "the store could not be changed: " + m_store.lastError());
    if (revoked == 0) return errorResponse(404, "name: no good key named " + name.substr(0, 64));
    log("api: key '" + caller.name + "' revoked key '" + name + "' from " + request.peer);
    return jsonResponse(200, Json{{"name", name}, {"revoked", true}});
}

ApiResponse ApiService::listLockouts(const ApiRequest& request) {
    bool lockedOnly = false;
    if (const auto locked = queryValue(request, "locked")) {
        if (*locked == "true" || *locked == "1") lockedOnly = true;
        else if (*locked != "false" && *locked != "0")
            return errorResponse(400, "locked: true or false is needed");
    }
    // Few (a count lasts as long as the back-off): cut from the whole list.
    return paged(
        m_store, request,
        [&](const std::string& after, std::size_t limit,
            bool newestFirst) -> std::optional<std::vector<LockoutRecord>> {
            auto all = m_store.listLockouts(lockedOnly);
            if (!all) return std::nullopt;
            std::sort(all->begin(), all->end(), [newestFirst](const LockoutRecord& a, const LockoutRecord& b) {
                return newestFirst ? lockoutKey(a) > lockoutKey(b) : lockoutKey(a) < lockoutKey(b);
            });
            std::vector<LockoutRecord> page;
            for (LockoutRecord& record : *all) {
                const std::string key = lockoutKey(record);
                if (!after.empty() && (newestFirst ? key >= after : key <= after)) continue;
                if (page.size() == limit) break;
                page.push_back(std::move(record));
            }
            return page;
        },
        lockoutKey, lockoutJson);
}

ApiResponse ApiService::clearLockouts(const ApiRequest& request, const Caller& caller,
                                      const std::optional<std::string>& subject) {
    if (subject && !validLockoutSubject(*subject))
        return errorResponse(400, "subject: an object number or an address is needed");
    const int cleared = m_store.clearLockouts(subject);
    if (cleared < 0) return errorResponse(503, "the store could not be changed: " + m_store.lastError());
    if (subject && cleared == 0) return errorResponse(404, "subject: no lock-out or mismatch count for " + *subject);
    // The servers let the subjects in again at their next heartbeat.
    log("api: key '" + caller.name + "' cleared " +
        (subject ? "the lock-out and count of " + *subject : "every lock-out and count (" + std::to_string(cleared) + ")") +
        " from " + request.peer);
    Json answer{{"cleared", cleared}};
    if (subject) answer["subject"] = *subject;
    return jsonResponse(200, answer);
}

}  // namespace kv6::fleet::api
