#include <algorithm>
#include <cstdio>
#include <utility>

#include "fleet_commands.h"
#include "settings/settings_json.h"
#include "text_table.h"

namespace kv6::ctl {

// kv6ctl fleet lockouts [--clear OBJECT|ADDRESS|--all]: the password
// back-off's counts and lock-outs, as every server of the store applies them.
int fleetLockouts(fleet::FleetStore& store, const FleetOptions& options) {
    if (!options.positional.isEmpty())
        return fleetUsageError(QStringLiteral("lockouts takes no argument '%1'").arg(options.positional[0]));
    if (options.clear) {
        const bool all = *options.clear == QLatin1String("--all");
        const int cleared = store.clearLockouts(all ? std::nullopt : std::optional(options.clear->toStdString()));
        if (cleared < 0) {
            std::fprintf(stderr, "kv6ctl fleet: the lock-outs could not be cleared: %s\n", store.lastError().c_str());
            return 1;
        }
        if (cleared == 0 && !all) {
            std::fprintf(stderr, "kv6ctl fleet: no lock-out or mismatch count for %s\n", qPrintable(*options.clear));
            return 1;
        }
        // The servers let it in again at their next heartbeat.
        std::printf("cleared %d\n", cleared);
        return 0;
    }
    auto records = store.listLockouts(false);
    if (!records) {
        std::fprintf(stderr, "kv6ctl fleet: the lock-outs could not be read: %s\n", store.lastError().c_str());
        return 1;
    }
    // Objects first, then addresses, each by its text's bytes: one order
    // whatever store or server the list comes from.
    std::sort(records->begin(), records->end(), [](const fleet::LockoutRecord& a, const fleet::LockoutRecord& b) {
        return std::pair(a.kind == fleet::LockoutKind::Address, a.subject) <
               std::pair(b.kind == fleet::LockoutKind::Address, b.subject);
    });
    if (options.json) {
        settings::Json list = settings::Json::array();
        for (const auto& r : *records)
            list.push_back({{"kind", fleet::lockoutKindName(r.kind)},
                            {"subject", r.subject},
                            {"mismatches", r.mismatches},
                            {"last", r.lastAt},
                            {"lockedUntil", r.lockedUntil}});
        const std::string text = list.dump(2, ' ', false, settings::Json::error_handler_t::replace) + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    TextTable table({"KIND", "SUBJECT", "MISMATCHES", "LAST MISMATCH", "LOCKED OUT UNTIL"});
    for (const auto& r : *records)
        table.add({std::string(fleet::lockoutKindName(r.kind)), r.subject, std::to_string(r.mismatches), r.lastAt,
                   r.lockedUntil.empty() ? "-" : r.lockedUntil});
    const std::string text = table.text();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

}  // namespace kv6::ctl
