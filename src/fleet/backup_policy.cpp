#include "fleet/backup_policy.h"

#include "fleet/utc_time.h"

namespace kv6::fleet {

namespace {

// Whether the object has a job in that state; none when the store failed.
std::optional<bool> hasJob(FleetStore& store, const std::string& object, JobState state) {
    JobQuery query;
    query.object = object;
    query.state = state;
    query.limit = 1;
    const auto jobs = store.jobsPage(query);
    if (!jobs) return std::nullopt;
    return !jobs->empty();
}

}  // namespace

BackupPolicy::Decision BackupPolicy::apply(FleetStore& store, const std::string& object, std::int64_t nowSeconds) const {
    Decision decision;
    const std::vector<BackupRecord> backups = store.backups(object);
    std::string why = "it has no backup";
    if (!backups.empty()) {
        // A time the store did not write counts as old: a backup too many beats a site with none.
        const auto taken = utcSeconds(backups.back().takenAt);
        const std::int64_t age = taken ? nowSeconds - *taken : std::int64_t{1} << 40;
        if (age < static_cast<std::int64_t>(m_days) * 86400) return decision;
        why = "its newest backup is " + (taken ? ageText(age) + " old" : "of an unknown time");
    }
    for (const JobState state : {JobState::Queued, JobState::Running}) {
        const auto has = hasJob(store, object, state);
        if (!has) return {Decision::Action::StoreFailed, 0, {}};
        if (*has) return decision;
    }
    JobQuery newest;
    newest.object = object;
    newest.newestFirst = true;
    newest.limit = 1;
    const auto last = store.jobsPage(newest);
    if (!last) return {Decision::Action::StoreFailed, 0, {}};
    if (!last->empty() && last->front().kind == JobKind::Read && last->front().state == JobState::Failed) {
        const auto queued = utcSeconds(last->front().queuedAt);
        if (queued && nowSeconds - *queued < kRetrySeconds) return decision;
    }
    NewJob read;
    read.object = object;
    read.kind = JobKind::Read;
    read.by = "backup-policy";
    decision.jobId = store.queueJob(read);
    if (decision.jobId == 0) return {Decision::Action::StoreFailed, 0, {}};
    decision.action = Decision::Action::Queued;
    decision.why = why;
    return decision;
}

}  // namespace kv6::fleet
