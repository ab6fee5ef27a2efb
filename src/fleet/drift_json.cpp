#include "fleet/drift_json.h"

#include "fleet/utc_time.h"

namespace kv6::fleet {

using settings::Json;

const char* driftState(const DriftRow& row) {
    if (!row.backupId) return "no backup";
    if (!row.problems.empty()) return "refused";
    return row.difference.empty() ? "same" : "differs";
}

Json diffItemsJson(const settings::ConfigDiff& difference) {
    Json list = Json::array();
    for (const auto& f : difference.fields) list.push_back({{"key", f.key}, {"a", f.before}, {"b", f.after}});
    for (const auto& r : difference.otherBytes) list.push_back({{"bytes", {r.first, r.last}}});
    return list;
}

Json driftRowJson(const DriftRow& row, std::int64_t nowSeconds) {
    Json json = {{"object", row.object}, {"state", driftState(row)}, {"backup", nullptr}, {"taken", nullptr},
                 {"ageDays", nullptr},   {"items", diffItemsJson(row.difference)}};
    if (row.backupId) {
        json["backup"] = *row.backupId;
        json["taken"] = row.takenAt;
        if (const auto taken = utcSeconds(row.takenAt)) json["ageDays"] = (nowSeconds - *taken) / 86400;
    }
    if (!row.problems.empty()) json["problems"] = row.problems;
    return json;
}

std::optional<DriftRow> driftRowFromJson(const Json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto object = json.find("object");
    const auto items = json.find("items");
    if (object == json.end() || !object->is_string() || items == json.end() || !items->is_array()) return std::nullopt;
    DriftRow row;
    row.object = object->get<std::string>();
    if (const auto backup = json.find("backup"); backup != json.end() && backup->is_number_integer()) {
        row.backupId = backup->get<std::int64_t>();
        const auto taken = json.find("taken");
        if (taken != json.end() && taken->is_string()) row.takenAt = taken->get<std::string>();
    }
    for (const Json& item : *items) {
        if (!item.is_object()) return std::nullopt;
        if (const auto bytes = item.find("bytes"); bytes != item.end()) {
            if (!bytes->is_array() || bytes->size() != 2 || !(*bytes)[0].is_number_integer() ||
                !(*bytes)[1].is_number_integer())
                return std::nullopt;
            row.difference.otherBytes.push_back({(*bytes)[0].get<int>(), (*bytes)[1].get<int>()});
            continue;
        }
        const auto key = item.find("key");
        const auto a = item.find("a");
        const auto b = item.find("b");
        if (key == item.end() || a == item.end() || b == item.end() || !key->is_string() || !a->is_string() ||
            !b->is_string())
            return std::nullopt;
        row.difference.fields.push_back({key->get<std::string>(), a->get<std::string>(), b->get<std::string>()});
    }
    if (const auto problems = json.find("problems"); problems != json.end() && problems->is_array())
        for (const Json& problem : *problems)
            if (problem.is_string()) row.problems.push_back(problem.get<std::string>());
    return row;
}

}  // namespace kv6::fleet
