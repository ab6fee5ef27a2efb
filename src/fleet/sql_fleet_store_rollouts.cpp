// Rollouts as the store keeps them: the payload once, each module's wave and
// newest job, every change of state a conditional update in a transaction.
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

namespace {

constexpr std::size_t kModuleBatch = 300;

using Status = RolloutOutcome::Status;

RolloutOutcome outcome(Status status, std::string message, std::int64_t id = 0) {
    RolloutOutcome o;
    o.status = status;
    o.message = std::move(message);
    o.id = id;
    return o;
}

QString q(std::string_view text) { return qText(text); }

std::string rolloutLabel(std::int64_t id, const std::string& name) {
    return "rollout " + std::to_string(id) + " '" + name + "'";
}

}  // namespace

bool SqlFleetStore::auditRollout(std::int64_t id, const std::string& name, const std::string& text,
                                 const std::string& by) {
    QSqlQuery query(m_db);
    return run(query,
               QStringLiteral("INSERT INTO audit (at, object, job_id, difference, outcome, queued_by) "
                              "VALUES (?, '*', 0, ?, 'rollout', ?)"),
               {now(), qText(rolloutLabel(id, name) + ": " + text), qText(by)});
}

long long SqlFleetStore::queueRolloutJobs(std::int64_t id, const QString& waves, int wave) {
    // The module's write is an ordinary write job (read, password proved,
    // backup, write, verify), queued by whoever created the rollout.
    const QString insert = QStringLiteral(
        "INSERT INTO jobs (object, kind, state, attempts, payload_format, payload, new_password, force_reset, "
        "renumber, password_from_file, queued_at, result, queued_by, rollout_id) "
        "SELECT m.object, 'write', 'queued', 0, r.payload_format, r.payload, 0, 0, 0, 0, ?, '', r.created_by, r.id "
        "FROM rollout_modules m JOIN rollouts r ON r.id = m.rollout_id "
        "WHERE m.rollout_id = ? AND m.wave %1 AND m.job_id IS NULL ORDER BY m.object RETURNING object").arg(waves);
    QSqlQuery query(m_db);
    if (!run(query, insert, {now(), qlonglong{id}, wave})) return -1;
    const int queued = announce(query, insert);
    if (queued < 0) return -1;
    if (queued == 0) return 0;
    const QString link = QStringLiteral(
        "UPDATE rollout_modules SET job_id = (SELECT MAX(j.id) FROM jobs j WHERE j.rollout_id = rollout_modules.rollout_id "
        "AND j.object = rollout_modules.object) WHERE rollout_id = ? AND wave %1 AND job_id IS NULL").arg(waves);
    if (!run(query, link, {qlonglong{id}, wave})) return -1;
    return queued;
}

RolloutOutcome SqlFleetStore::createRollout(const NewRollout& r) {
    std::string error;
    if (r.name.empty() || r.name.size() > 200) return outcome(Status::Invalid, "name: 1 to 200 characters are needed");
    if (r.format == WriteFormat::None || r.payload.empty())
        return outcome(Status::Invalid, "settings: a settings document or a .prg is needed");
    const auto waves = RolloutWaves::parse(r.waves, error);
    if (!waves) return outcome(Status::Invalid, error);
    if (!FailureLimit::parse(r.maxFailed, error)) return outcome(Status::Invalid, error);
    const bool byTag = r.target.rfind("tag:", 0) == 0;
    if (byTag && !validTagName(r.target.substr(4)))
        return outcome(Status::Invalid, "target: tag:NAME with 1..64 letters, digits, '.', '_' or '-' is needed");
    if (!byTag && r.target != "all" && r.target != "objects")
        return outcome(Status::Invalid, "target: tag:NAME, objects or all is needed");
    if (r.dynamic && !byTag) return outcome(Status::Invalid, "dynamic: only a rollout to a tag takes modules tagged later");

    std::vector<std::string> objects;
    if (r.target == "objects") {
        objects = r.objects;
    } else {
        const auto rows = byTag ? selectRows(QStringLiteral("SELECT object FROM module_tags WHERE tag = ?"),
                                             {qText(r.target.substr(4))})
                                : selectRows(QStringLiteral("SELECT object FROM modules"));
        if (!rows) return outcome(Status::StoreFailed, "the store could not be read: " + m_lastError);
        objects.reserve(rows->size());
        for (const QVariantList& row : *rows) objects.push_back(stdText(row.at(0)));
    }
    std::sort(objects.begin(), objects.end());
    objects.erase(std::unique(objects.begin(), objects.end()), objects.end());
    const std::vector<std::size_t> ends = waves->ends(objects.size(), error);
    if (ends.empty()) return outcome(Status::Invalid, error);

    const QByteArray payload(reinterpret_cast<const char*>(r.payload.data()), static_cast<qsizetype>(r.payload.size()));
    const QString format = r.format == WriteFormat::Prg ? QStringLiteral("prg") : QStringLiteral("json");
    const auto failed = [&](const std::string& why) {
        m_db.rollback();
        return outcome(Status::StoreFailed, why + m_lastError);
    };
    m_db.transaction();
    const QString stamp = now();
    const auto added = selectRows(
        QStringLiteral("INSERT INTO rollouts (name, state, target, waves, max_failed, dynamic, payload_format, payload, "
                       "wave, wave_count, halts, halt_reason, created_by, created_at, approved_by, updated_at) "
                       "VALUES (?, 'awaiting approval', ?, ?, ?, ?, ?, ?, 0, ?, 0, '', ?, ?, '', ?) RETURNING id"),
        {qText(r.name), qText(r.target), qText(r.waves), qText(r.maxFailed), r.dynamic ? 1 : 0, format, payload,
         static_cast<int>(ends.size()), qText(r.by), stamp, stamp});
    if (!added || added->empty()) return failed("the rollout could not be stored: ");
    const std::int64_t id = added->front().at(0).toLongLong();
    std::size_t wave = 0;
    for (std::size_t from = 0; from < objects.size(); from += kModuleBatch) {
        const std::size_t to = std::min(objects.size(), from + kModuleBatch);
        QString sql = QStringLiteral("INSERT INTO rollout_modules (rollout_id, object, wave) VALUES ");
        QVariantList values;
        for (std::size_t i = from; i < to; ++i) {
            while (i >= ends[wave]) ++wave;
            sql += i == from ? QStringLiteral("(?, ?, ?)") : QStringLiteral(", (?, ?, ?)");
            values << qlonglong{id} << qText(objects[i]) << static_cast<int>(wave + 1);
        }
        QSqlQuery query(m_db);
        if (!run(query, sql, values)) return failed("the rollout's modules could not be stored: ");
    }
    // One module, one rollout at a time: two writes racing to it would leave
    // it holding whichever came last.
    const auto overlap = selectRows(
        QStringLiteral("SELECT COUNT(*), MIN(o.rollout_id) FROM rollout_modules m JOIN rollout_modules o ON "
                       "o.object = m.object AND o.rollout_id <> m.rollout_id JOIN rollouts x ON x.id = o.rollout_id "
                       "WHERE m.rollout_id = ? AND x.state IN ") + kUnfinished,
        {qlonglong{id}});
    if (!overlap) return failed("the store could not be read: ");
    if (const long long busy = overlap->front().at(0).toLongLong(); busy > 0) {
        m_db.rollback();
        return outcome(Status::Conflict, std::to_string(busy) + " of the modules are in rollout " +
                                             std::to_string(overlap->front().at(1).toLongLong()) +
                                             ", which has not ended: nothing created");
    }
    std::string text = "created for " + r.target + " (" + std::to_string(objects.size()) + " modules, waves " +
                       r.waves + ", max-failed " + r.maxFailed + (r.dynamic ? ", dynamic" : "") + ")";
    if (!auditRollout(id, r.name, text, r.by)) return failed("the audit line could not be stored: ");
    if (!commit()) return outcome(Status::StoreFailed, "the rollout could not be stored: " + m_lastError);
    return outcome(Status::Done, std::string(kRolloutAwaiting), id);
}

RolloutOutcome SqlFleetStore::stepRollout(std::int64_t id, RolloutStep step, const std::string& by) {
    const auto found = rollouts(id);
    if (!found) return outcome(Status::StoreFailed, "the store could not be read: " + m_lastError);
    if (found->empty()) return outcome(Status::NotFound, "no rollout " + std::to_string(id));
    const RolloutRecord& r = found->front();
    const std::string label = rolloutLabel(id, r.name);
    const auto refuse = [&](const std::string& why) { return outcome(Status::Conflict, label + " is " + r.state + ": " + why); };
    // From which states the step goes, and to which.
    std::vector<std::string_view> from;
    std::string_view to = kRolloutRunning;
    switch (step) {
        case RolloutStep::Approve: from = {kRolloutAwaiting}; to = kRolloutApproved; break;
        case RolloutStep::Start: from = {kRolloutApproved}; break;
        case RolloutStep::Pause: from = {kRolloutRunning}; to = kRolloutPaused; break;
        case RolloutStep::Resume: from = {kRolloutPaused}; break;
        case RolloutStep::Cancel:
            from = {kRolloutAwaiting, kRolloutApproved, kRolloutRunning, kRolloutPaused, kRolloutHalted};
            to = kRolloutCancelled;
            break;
        case RolloutStep::RetryFailed: from = {kRolloutHalted, kRolloutRunning, kRolloutFinished}; break;
    }
    if (std::find(from.begin(), from.end(), r.state) == from.end()) {
        switch (step) {
            case RolloutStep::Approve: return refuse("only a rollout awaiting approval is approved");
            case RolloutStep::Start:
                return refuse(r.state == kRolloutAwaiting ? "it needs another person's approval first"
                                                          : "only an approved rollout is started");
            case RolloutStep::Pause: return refuse("only a running rollout is paused");
            case RolloutStep::Resume:
                return refuse(r.state == kRolloutHalted ? "retry-failed or cancel it" : "only a paused rollout is resumed");
            case RolloutStep::Cancel: return refuse("it has ended");
            case RolloutStep::RetryFailed: return refuse("only a halted, running or finished rollout retries its failures");
        }
    }
    if (step == RolloutStep::Approve && by == r.createdBy)
        return outcome(Status::Forbidden, label + " was created by " + by + ": another person must approve it");

    const auto failed = [&] {
        m_db.rollback();
        return outcome(Status::StoreFailed, "the store could not be changed: " + m_lastError);
    };
    m_db.transaction();
    QSqlQuery query(m_db);
    const QString stamp = now();
    // The state is checked again as it changes: another operator or server may have been first.
    const QString change = QStringLiteral("UPDATE rollouts SET state = ?, updated_at = ?%1 WHERE id = ? AND state = ? AND wave = ?");
    QString extra;
    QVariantList values{q(to), stamp};
    if (step == RolloutStep::Approve) {
        extra = QStringLiteral(", approved_by = ?");
        values << qText(by);
    } else if (step == RolloutStep::Start) {
        extra = QStringLiteral(", wave = 1");
    }
    values << qlonglong{id} << qText(r.state) << r.wave;
    if (!run(query, change.arg(extra), values)) return failed();
    if (query.numRowsAffected() != 1) {
        m_db.rollback();
        return outcome(Status::Conflict, label + " changed meanwhile: look at its status again");
    }
    std::string text;
    switch (step) {
        case RolloutStep::Approve: text = "approved"; break;
        case RolloutStep::Start: {
            const long long queued = queueRolloutJobs(id, QStringLiteral("= ?"), 1);
            if (queued < 0) return failed();
            text = "started: wave 1 of " + std::to_string(r.waveCount) + " queued (" + std::to_string(queued) + " modules)";
            break;
        }
        case RolloutStep::Pause:
            if (!run(query, QStringLiteral("UPDATE jobs SET state = 'held' WHERE rollout_id = ? AND state = 'queued'"),
                     {qlonglong{id}}))
                return failed();
            text = "paused: " + std::to_string(query.numRowsAffected()) + " queued jobs held";
            break;
        case RolloutStep::Resume:
            if (!run(query, QStringLiteral("UPDATE jobs SET state = 'queued' WHERE rollout_id = ? AND state = 'held'"),
                     {qlonglong{id}}))
                return failed();
            text = "resumed: " + std::to_string(query.numRowsAffected()) + " held jobs queued again";
            break;
        case RolloutStep::Cancel:
            if (!run(query,
                     QStringLiteral("UPDATE jobs SET state = 'cancelled', finished_at = ?, cancelled_by = ? "
                                    "WHERE rollout_id = ? AND state IN ('queued', 'held')"),
                     {stamp, qText(by), qlonglong{id}}))
                return failed();
            text = "cancelled: " + std::to_string(query.numRowsAffected()) + " jobs not sent";
            break;
        case RolloutStep::RetryFailed: {
            if (!run(query,
                     QStringLiteral("UPDATE rollout_modules SET job_id = NULL WHERE rollout_id = ? AND wave <= ? AND "
                                    "job_id IN (SELECT id FROM jobs WHERE rollout_id = ? AND state = 'failed')"),
                     {qlonglong{id}, r.wave, qlonglong{id}}))
                return failed();
            const long long again = query.numRowsAffected();
            if (again == 0 && r.state != kRolloutHalted) {
                m_db.rollback();
                return outcome(Status::Conflict, label + " has no failed module to retry");
            }
            if (!run(query, QStringLiteral("UPDATE jobs SET state = 'queued' WHERE rollout_id = ? AND state = 'held'"),
                     {qlonglong{id}}))
                return failed();
            const long long released = query.numRowsAffected();
            if (queueRolloutJobs(id, QStringLiteral("<= ?"), r.wave) < 0) return failed();
            text = "retrying " + std::to_string(again) + " failed modules" +
                   (released > 0 ? ", " + std::to_string(released) + " held jobs queued again" : std::string());
            break;
        }
    }
    if (!auditRollout(id, r.name, text, by)) return failed();
    if (!commit()) return outcome(Status::StoreFailed, "the store could not be changed: " + m_lastError);
    return outcome(Status::Done, label + " " + text, id);
}

std::optional<std::vector<RolloutRecord>> SqlFleetStore::rollouts(std::int64_t id) {
    const auto rows = selectRows(
        QStringLiteral("SELECT r.id, r.name, r.state, r.target, r.waves, r.max_failed, r.dynamic, r.wave, r.wave_count, "
                       "(SELECT COUNT(*) FROM rollout_modules m WHERE m.rollout_id = r.id), r.halts, r.halt_reason, "
                       "r.created_by, r.created_at, r.approved_by, r.updated_at FROM rollouts r WHERE ? = 0 OR r.id = ? "
                       "ORDER BY r.id"),
        {qlonglong{id}, qlonglong{id}});
    if (!rows) return std::nullopt;
    std::vector<RolloutRecord> records;
    for (const QVariantList& v : *rows) {
        RolloutRecord r;
        r.id = v.at(0).toLongLong();
        r.name = stdText(v.at(1));
        r.state = stdText(v.at(2));
        r.target = stdText(v.at(3));
        r.waves = stdText(v.at(4));
        r.maxFailed = stdText(v.at(5));
        r.dynamic = v.at(6).toInt() != 0;
        r.wave = v.at(7).toInt();
        r.waveCount = v.at(8).toInt();
        r.modules = v.at(9).toLongLong();
        r.halts = v.at(10).toInt();
        r.haltReason = stdText(v.at(11));
        r.createdBy = stdText(v.at(12));
        r.createdAt = stdText(v.at(13));
        r.approvedBy = stdText(v.at(14));
        r.updatedAt = stdText(v.at(15));
        records.push_back(std::move(r));
    }
    return records;
}

std::optional<std::vector<RolloutWaveStatus>> SqlFleetStore::rolloutWaves(std::int64_t id) {
    const auto counts = selectRows(QStringLiteral("SELECT m.wave, ") + kModuleState +
                                       QStringLiteral(", COUNT(*) FROM rollout_modules m LEFT JOIN jobs j ON j.id = "
                                                      "m.job_id WHERE m.rollout_id = ? GROUP BY 1, 2 ORDER BY 1"),
                                   {qlonglong{id}});
    if (!counts) return std::nullopt;
    const auto failures = selectRows(QStringLiteral("SELECT m.wave, j.result FROM rollout_modules m JOIN jobs j ON j.id = "
                                                    "m.job_id WHERE m.rollout_id = ? AND j.state = 'failed'"),
                                     {qlonglong{id}});
    if (!failures) return std::nullopt;
    std::vector<RolloutWaveStatus> waves;
    const auto waveOf = [&](int number) -> RolloutWaveStatus& {
        for (RolloutWaveStatus& w : waves)
            if (w.wave == number) return w;
        waves.push_back({});
        waves.back().wave = number;
        return waves.back();
    };
    for (const QVariantList& v : *counts) {
        RolloutWaveStatus& w = waveOf(v.at(0).toInt());
        const std::string state = stdText(v.at(1));
        const long long n = v.at(2).toLongLong();
        w.size += n;
        if (state == "waiting") w.waiting += n;
        else if (state == "queued") w.queued += n;
        else if (state == "held") w.held += n;
        else if (state == "running") w.running += n;
        else if (state == "done") w.verified += n;
        else if (state == "failed") w.failed += n;
        else w.cancelled += n;
    }
    for (const QVariantList& v : *failures) ++waveOf(v.at(0).toInt()).failures[std::string(failureReason(stdText(v.at(1))))];
    std::sort(waves.begin(), waves.end(), [](const auto& a, const auto& b) { return a.wave < b.wave; });
    return waves;
}

}  // namespace kv6::fleet
