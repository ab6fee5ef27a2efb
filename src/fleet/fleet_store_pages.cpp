// The pages of a store that keeps no order of its own to page by: each is cut
// from the whole list.
#include <algorithm>

#include "fleet/fleet_drift.h"
#include "fleet/fleet_store.h"

namespace kv6::fleet {

namespace {

template <class Record, class Keep, class KeyAfter>
std::vector<Record> cut(std::vector<Record> all, std::size_t limit, bool newestFirst, Keep keep, KeyAfter keyAfter) {
    if (newestFirst) std::reverse(all.begin(), all.end());
    std::vector<Record> page;
    for (Record& record : all) {
        if (page.size() >= limit) break;
        if (keyAfter(record) && keep(record)) page.push_back(std::move(record));
    }
    return page;
}

}  // namespace

std::optional<std::vector<ModuleRecord>> FleetStore::modulesPage(const ModuleQuery& query) {
    return cut(
        modules(query.connectedOnly), query.limit, query.newestFirst,
        [&](const ModuleRecord& m) {
            return (query.object.empty() || m.object == query.object) &&
                   m.object.find(query.contains) != std::string::npos;
        },
        [&](const ModuleRecord& m) {
            return query.after.empty() || (query.newestFirst ? m.object < query.after : m.object > query.after);
        });
}

std::optional<std::vector<JobRecord>> FleetStore::jobsPage(const JobQuery& query) {
    return cut(
        jobs(query.object, query.state), query.limit, query.newestFirst, [&](const JobRecord& j) { return query.id == 0 || j.id == query.id; },
        [&](const JobRecord& j) { return query.after == 0 || (query.newestFirst ? j.id < query.after : j.id > query.after); });
}

std::optional<std::vector<AuditRecord>> FleetStore::auditPage(const AuditQuery& query) {
    return cut(
        audit(query.object), query.limit, query.newestFirst,
        [&](const AuditRecord& a) { return (!query.by || a.by == *query.by) && a.at >= query.since; },
        [&](const AuditRecord& a) { return query.after == 0 || (query.newestFirst ? a.id < query.after : a.id > query.after); });
}

std::optional<std::vector<JobTally>> FleetStore::jobTallies() {
    std::vector<JobTally> tallies;
    for (const JobRecord& job : jobs(std::nullopt, std::nullopt)) {
        const auto same = [&](const JobTally& t) { return t.state == job.state && t.kind == job.kind; };
        const auto found = std::find_if(tallies.begin(), tallies.end(), same);
        if (found != tallies.end())
            ++found->count;
        else
            tallies.push_back({job.state, job.kind, 1});
    }
    return tallies;
}

std::optional<DriftPage> FleetStore::driftPage(const DriftQuery& query) { return FleetDrift::page(*this, query); }

}  // namespace kv6::fleet
