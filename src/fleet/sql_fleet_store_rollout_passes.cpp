// The servers' passes over the running rollouts: a wave halted past its
// failure limit, the next one queued once the last ended within it, modules
// tagged since taken into a dynamic rollout; each change conditional, in a
// transaction, so that servers sharing the store never start a wave twice.
#include <QSqlQuery>
#include <algorithm>

#include "fleet/failure_limit.h"
#include "fleet/failure_reason.h"
#include "fleet/rollout_waves.h"
#include "fleet/sql_fleet_store.h"
#include "fleet/sql_rollout_text.h"
#include "fleet/sql_store_text.h"

namespace kv6::fleet {

using rollout_sql::kModuleState;
using rollout_sql::kUnfinished;

std::optional<std::vector<RolloutEvent>> SqlFleetStore::advanceRollouts() {
    const auto running = selectRows(QStringLiteral("SELECT id, name, wave, wave_count, max_failed, dynamic, target "
                                                   "FROM rollouts WHERE state = 'running' ORDER BY id"));
    if (!running) return std::nullopt;
    std::vector<RolloutEvent> events;
    for (const QVariantList& row : *running)
        if (!advanceRollout(row, events)) return std::nullopt;
    return events;
}

bool SqlFleetStore::advanceRollout(const QVariantList& row, std::vector<RolloutEvent>& events) {
    const std::int64_t id = row.at(0).toLongLong();
    const std::string name = stdText(row.at(1));
    const int wave = row.at(2).toInt();
    const int waveCount = row.at(3).toInt();
    std::string error;
    const auto limit = FailureLimit::parse(stdText(row.at(4)), error);
    const bool dynamic = row.at(5).toInt() != 0;
    const std::string target = stdText(row.at(6));
    const auto event = [&](std::string what, bool halted = false) { events.push_back({id, name, std::move(what), halted}); };
    const std::string by = m_leaseOwner.toStdString();
    const auto failed = [&] {
        m_db.rollback();
        return false;
    };

    m_db.transaction();
    QSqlQuery query(m_db);
    // Taken first: the row stays locked to this server until the commit, and
    // a rollout another server moved on (or an operator paused) is left alone.
    if (!run(query, QStringLiteral("UPDATE rollouts SET updated_at = ? WHERE id = ? AND state = 'running' AND wave = ?"),
             {now(), qlonglong{id}, wave}))
        return failed();
    if (query.numRowsAffected() != 1) {
        m_db.rollback();
        return true;
    }
    if (dynamic && target.rfind("tag:", 0) == 0) {
        if (!run(query,
                 QStringLiteral("INSERT INTO rollout_modules (rollout_id, object, wave) SELECT ?, t.object, ? FROM "
                                "module_tags t WHERE t.tag = ? AND NOT EXISTS (SELECT 1 FROM rollout_modules o JOIN "
                                "rollouts x ON x.id = o.rollout_id WHERE o.object = t.object AND (o.rollout_id = ? OR "
                                "x.state IN ") + kUnfinished + QStringLiteral("))"),
                 {qlonglong{id}, waveCount, qText(target.substr(4)), qlonglong{id}}))
            return failed();
        const long long joined = query.numRowsAffected();
        if (joined > 0) {
            event(std::to_string(joined) + " newly tagged modules joined wave " + std::to_string(waveCount));
            if (wave == waveCount && queueRolloutJobs(id, QStringLiteral("= ?"), wave) < 0) return failed();
            if (!auditRollout(id, name, events.back().what, by)) return failed();
        }
    }
    const auto tally = selectRows(QStringLiteral("SELECT ") + kModuleState +
                                      QStringLiteral(", COUNT(*) FROM rollout_modules m LEFT JOIN jobs j ON j.id = "
                                                     "m.job_id WHERE m.rollout_id = ? AND m.wave = ? GROUP BY 1"),
                                  {qlonglong{id}, wave});
    if (!tally) return failed();
    WaveTally current;
    for (const QVariantList& v : *tally) {
        const std::string state = stdText(v.at(0));
        const long long n = v.at(1).toLongLong();
        current.size += n;
        if (state == "failed") current.failed += n;
        if (state == "waiting" || state == "queued" || state == "held" || state == "running") current.pending += n;
    }
    const WaveDecision decision = limit ? limit->decide(current, wave >= waveCount) : WaveDecision::Halt;
    const std::string waveText = "wave " + std::to_string(wave) + " of " + std::to_string(waveCount);
    switch (decision) {
        case WaveDecision::Wait: break;
        case WaveDecision::Halt: {
            const std::string reason = waveText + ": " + std::to_string(current.failed) + " of " +
                                       std::to_string(current.size) + " modules failed, more than " +
                                       (limit ? limit->text() : std::string("the limit"));
            if (!run(query,
                     QStringLiteral("UPDATE rollouts SET state = 'halted', halts = halts + 1, halt_reason = ? "
                                    "WHERE id = ? AND state = 'running'"),
                     {qText(reason), qlonglong{id}}))
                return failed();
            if (!run(query, QStringLiteral("UPDATE jobs SET state = 'held' WHERE rollout_id = ? AND state = 'queued'"),
                     {qlonglong{id}}))
                return failed();
            event("halted: " + reason + "; " + std::to_string(query.numRowsAffected()) + " queued jobs held", true);
            if (!auditRollout(id, name, events.back().what, by)) return failed();
            break;
        }
        case WaveDecision::NextWave: {
            if (!run(query, QStringLiteral("UPDATE rollouts SET wave = wave + 1 WHERE id = ? AND wave = ? AND state = 'running'"),
                     {qlonglong{id}, wave}))
                return failed();
            const long long queued = queueRolloutJobs(id, QStringLiteral("= ?"), wave + 1);
            if (queued < 0) return failed();
            event("wave " + std::to_string(wave + 1) + " of " + std::to_string(waveCount) + " started (" +
                  std::to_string(queued) + " modules)");
            if (!auditRollout(id, name, events.back().what, by)) return failed();
            break;
        }
        case WaveDecision::Finished:
            // A dynamic rollout stays to take the modules tagged later, until cancelled.
            if (dynamic) break;
            if (!run(query, QStringLiteral("UPDATE rollouts SET state = 'finished' WHERE id = ? AND state = 'running'"),
                     {qlonglong{id}}))
                return failed();
            event("finished");
            if (!auditRollout(id, name, "finished", by)) return failed();
            break;
    }
    return commit();
}

}  // namespace kv6::fleet
