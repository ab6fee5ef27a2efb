#include <cstdio>

#include "fleet/api/api_key_text.h"
#include "fleet/api/api_role.h"
#include "fleet_commands.h"
#include "settings/settings_json.h"
#include "text_table.h"

namespace kv6::ctl {

namespace {

int addKey(fleet::FleetStore& store, const FleetOptions& options) {
    if (options.positional.size() != 2) return fleetUsageError(QStringLiteral("key add needs one NAME"));
    const std::string name = options.positional[1].toStdString();
    if (!fleet::api::validKeyName(name))
        return fleetUsageError(QStringLiteral("a key's NAME is 1..64 letters, digits, '.', '_', '@' or '-'"));
    if (!options.role || !fleet::api::roleFromName(options.role->toStdString()))
        return fleetUsageError(QStringLiteral("key add needs --role viewer, operator or admin"));
    const std::string key = fleet::api::newApiKey();
    if (!store.addApiKey(name, options.role->toStdString(), fleet::api::apiKeySha256(key))) {
        std::fprintf(stderr, "kv6ctl fleet: the key could not be added: %s\n", store.lastError().c_str());
        return 1;
    }
    // The store keeps only its hash: this is the one time it is shown.
    std::printf("%s\n", key.c_str());
    std::fprintf(stderr, "kv6ctl fleet: key '%s' (%s) added; it is shown this once\n", name.c_str(),
                 qPrintable(*options.role));
    return 0;
}

int listKeys(fleet::FleetStore& store, const FleetOptions& options) {
    if (options.positional.size() != 1) return fleetUsageError(QStringLiteral("key list takes no NAME"));
    const auto keys = store.apiKeys();
    std::string out;
    if (options.json) {
        settings::Json list = settings::Json::array();
        for (const auto& k : keys)
            list.push_back({{"name", k.name}, {"role", k.role}, {"created", k.created}, {"revoked", k.revoked}});
        out = list.dump(2) + "\n";
    } else {
        TextTable table({"NAME", "ROLE", "CREATED", "REVOKED"});
        for (const auto& k : keys) table.add({k.name, k.role, k.created, k.revoked.empty() ? "-" : k.revoked});
        out = table.text();
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int revokeKey(fleet::FleetStore& store, const FleetOptions& options) {
    if (options.positional.size() != 2) return fleetUsageError(QStringLiteral("key revoke needs one NAME"));
    const std::string name = options.positional[1].toStdString();
    const int revoked = store.revokeApiKey(name);
    if (revoked < 0) {
        std::fprintf(stderr, "kv6ctl fleet: the key could not be revoked: %s\n", store.lastError().c_str());
        return 1;
    }
    if (revoked == 0) {
        std::fprintf(stderr, "kv6ctl fleet: no good key named %s\n", name.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

// kv6ctl fleet key add NAME --role R | list | revoke NAME: the operator
// API's keys, on the store itself (the way to the first admin key).
int fleetKey(fleet::FleetStore& store, const FleetOptions& options) {
    const QString action = options.positional.value(0);
    if (action == QLatin1String("add")) return addKey(store, options);
    if (action == QLatin1String("list")) return listKeys(store, options);
    if (action == QLatin1String("revoke")) return revokeKey(store, options);
    return fleetUsageError(QStringLiteral("key needs add, list or revoke"));
}

}  // namespace kv6::ctl
