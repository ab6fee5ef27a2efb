// Who a connection speaks for: identification, a second claim and its proof, a job's end, lock-outs.
#include <QDateTime>

#include "fleet/backup_policy.h"
#include "fleet/fleet_server.h"
#include "fleet/fleet_server_connection.h"

namespace kv6::fleet {

using detail::q;

void FleetServer::identified(Connection& c, const std::string& object, const std::string& text) {
    leaveTally(c);
    c.identification = text;
    if (const auto until = m_backoff.lockedOut(LockoutKind::Object, object)) {
        ++m_counters.refusedLockedOut;
        log(QStringLiteral("refusing object %1 from %2: locked out until %3 after repeated password mismatches")
                .arg(q(object), c.peer, q(*until)));
        closeLater(c.id);
        return;
    }
    const auto owner = m_byObject.find(object);
    if (owner == m_byObject.end() || owner->second == c.id) {
        take(c);
        return;
    }
    // Anyone may claim a number: the connection that speaks for the object
    // stays until the newer one proves the password recorded for it.
    if (m_contenders.count(object) != 0) {
        log(QStringLiteral("refusing object %1 from %2: another connection is already claiming it").arg(q(object), c.peer));
        closeLater(c.id);
        return;
    }
    m_contenders[object] = c.id;
    c.stage = Connection::Stage::Contending;
    const int id = c.id;
    // Until the store answers it counts as proving: the older connection's
    // end does not hand it the object.
    c.askingPassword = true;
    const auto recorded = [this, id, object](const std::optional<std::uint16_t>& password) {
        const auto it = m_connections.find(id);
        if (it == m_connections.end()) return;
        Connection& contender = *it->second;
        contender.askingPassword = false;
        const auto claim = m_contenders.find(object);
        if (contender.closing || claim == m_contenders.end() || claim->second != id) return;
        if (!password) {
            log(QStringLiteral("object %1 called again from %2; with no password recorded to prove it, it waits until "
                               "the older connection ends")
                    .arg(q(object), contender.peer));
            // The older one may have ended while the store was asked.
            if (m_byObject.count(object) == 0) {
                m_contenders.erase(claim);
                take(contender);
            }
            return;
        }
        log(QStringLiteral("object %1 called again from %2; the older connection stays until this one proves the "
                           "recorded password")
                .arg(q(object), contender.peer));
        catchUp(contender);
        contender.runner.prove(*password);
        reschedule(id);
    };
    if (!ask([object](FleetStore& store) { return store.recordedPassword(object); }, recorded)) {
        log(QStringLiteral("refusing object %1 from %2: %3").arg(q(object), c.peer, q(storeBusy(QStringLiteral("a password check")))));
        closeLater(c.id);
    }
}

void FleetServer::take(Connection& c) {
    const std::string& object = c.runner.object();
    c.stage = Connection::Stage::Serving;
    m_byObject[object] = c.id;
    struct Seen {
        std::optional<bool> first;
        std::string error;
        std::optional<BackupPolicy::Decision> due;  // with --backup-every
    };
    // Its inventory read in the same step: queued even if the connection ends meanwhile.
    const int id = c.id;
    const bool posted = ask(
        [object, peer = c.peer.toStdString(), text = c.identification, inventory = m_options.inventoryRead,
         backupEvery = m_options.backupEveryDays, now = QDateTime::currentSecsSinceEpoch()](FleetStore& store) {
            Seen seen;
            seen.first = store.moduleSeen(object, peer, text);
            if (!seen.first) {
                seen.error = store.lastError();
                return seen;
            }
            if (*seen.first && inventory) {
                NewJob read;
                read.object = object;
                read.kind = JobKind::Read;
                if (store.queueJob(read) == 0) seen.error = store.lastError().empty() ? "no reason given" : store.lastError();
            }
            if (seen.error.empty() && backupEvery > 0) {
                seen.due = BackupPolicy(backupEvery).apply(store, object, now);
                if (seen.due->action == BackupPolicy::Decision::Action::StoreFailed)
                    seen.due->why = store.lastError().empty() ? "no reason given" : store.lastError();
            }
            return seen;
        },
        [this, id, object](const Seen& seen) { this->seen(id, object, seen.first, seen.error, seen.due); });
    if (!posted) storeLost(q(storeBusy(QStringLiteral("that object %1 called").arg(q(object)))));
}

void FleetServer::seen(int id, const std::string& object, const std::optional<bool>& first, const std::string& error,
                       const std::optional<BackupPolicy::Decision>& due) {
    if (!first) {
        (void)storeFailed(QStringLiteral("that object %1 called").arg(q(object)), error);
        return;
    }
    const auto it = m_connections.find(id);
    if (it != m_connections.end())
        log(QStringLiteral("object %1 identified from %2%3")
                .arg(q(object), it->second->peer, *first ? QStringLiteral(" (first seen)") : QString()));
    if (!error.empty()) {
        (void)storeFailed(QStringLiteral("the inventory read of object %1").arg(q(object)), error);
        return;
    }
    if (due && due->action == BackupPolicy::Decision::Action::StoreFailed)
        (void)storeFailed(QStringLiteral("the backup policy's read of object %1").arg(q(object)), due->why);
    else if (due && due->action == BackupPolicy::Decision::Action::Queued)
        log(QStringLiteral("object %1: read job %2 queued to keep a recent backup (every %3 d): %4")
                .arg(q(object))
                .arg(due->jobId)
                .arg(m_options.backupEveryDays)
                .arg(q(due->why)));
    startNextLater(id);
}

void FleetServer::proofEnded(Connection& c, Proof proof) {
    const std::string object = c.runner.object();
    if (const auto it = m_contenders.find(object); it != m_contenders.end() && it->second == c.id) m_contenders.erase(it);
    if (c.closing) return;
    switch (proof) {
        case Proof::Proved: {
            recordProved(object);
            const auto owner = m_byObject.find(object);
            if (owner != m_byObject.end() && owner->second != c.id) {
                const Connection& older = *m_connections.at(owner->second);
                log(QStringLiteral("object %1 proved its password from %2; closing its older connection from %3")
                        .arg(q(object), c.peer, older.peer));
                closeLater(older.id);
            }
            take(c);
            break;
        }
        case Proof::Mismatch:
            log(QStringLiteral("refusing object %1 from %2: the read password it holds differs from the one recorded")
                    .arg(q(object), c.peer));
            noteMismatch(c, object);
            closeLater(c.id);
            break;
        case Proof::NoAnswer:
            log(QStringLiteral("closing the connection from %1: it claimed object %2 but did not answer the password read")
                    .arg(c.peer, q(object)));
            closeLater(c.id);
            break;
    }
}

void FleetServer::jobEnded(Connection& connection, const FleetJob& job, const JobOutcome& outcome) {
    m_withJob.erase(connection.id);
    m_counters.jobSeconds[std::string(kindName(job.kind))].observe(
        static_cast<double>(monotonicMs() - connection.jobStartedMs) / 1000.0);
    if (outcome.end == JobEnd::LeaseLost) {
        // Nothing of it is this server's to store now; it joins again, and
        // its reconnection gives back whatever is still its own.
        log(QStringLiteral("object %1 job %2 %3 stopped: %4")
                .arg(q(job.object))
                .arg(job.id)
                .arg(q(std::string(kindName(job.kind))), q(outcome.result)));
        (void)holdsLeases();
        return;
    }
    // An attempt this server cut short (it stops, its store failed) is not the module's.
    const auto attempt = m_stopping || !m_storeReachable || outcome.end == JobEnd::StoreFailed
                             ? FleetStore::Attempt::GivenBack
                             : FleetStore::Attempt::Counted;
    struct Ended {
        bool stored = false;
        bool discarded = false;
        std::string error;
    };
    // One step: the password first, so that a job whose end is not stored
    // runs again and proves the object with what is recorded.
    const auto work = [job = job.id, object = job.object, outcome, attempt,
                       maxAttempts = m_options.maxAttempts](FleetStore& store) {
        Ended ended;
        bool stored = !outcome.recordedPassword || store.recordPassword(object, *outcome.recordedPassword);
        switch (outcome.end) {
            case JobEnd::Done:
                stored = stored && store.finishJob(job, JobState::Done, outcome.result);
                break;
            case JobEnd::Failed:
                stored = stored && store.finishJob(job, JobState::Failed, outcome.result);
                break;
            case JobEnd::Interrupted:
            case JobEnd::StoreFailed:
                stored = stored && store.requeueJob(job, outcome.result, maxAttempts, attempt);
                break;
            case JobEnd::LeaseLost:
                break;
        }
        ended.stored = stored;
        ended.discarded = stored && store.lastEndDiscarded();
        if (!stored) ended.error = store.lastError();
        return ended;
    };
    const auto done = [this, object = job.object, jobId = job.id](const Ended& ended) {
        if (!ended.stored && m_storeReachable) (void)storeFailed(QStringLiteral("the end of job %1").arg(jobId), ended.error);
        if (ended.discarded)
            log(QStringLiteral("object %1 job %2: outcome discarded, the job is no longer this server's (its lease "
                               "lapsed and another server took it or queued it again)")
                    .arg(q(object))
                    .arg(jobId));
    };
    if (!ask(work, done)) {
        const std::string busy = storeBusy(QStringLiteral("the end of job %1").arg(job.id));
        if (m_storeReachable && !m_stopping) storeLost(q(busy));
    }
    log(QStringLiteral("object %1 job %2 %3: %4")
            .arg(q(job.object))
            .arg(job.id)
            .arg(q(std::string(kindName(job.kind))), q(outcome.result)));
    if (outcome.passwordMismatch) noteMismatch(connection, job.object);
    startNextLater(connection.id);
}

void FleetServer::noteMismatch(Connection& c, const std::string& object) {
    const std::string address = c.peer.toStdString();
    ++m_counters.passwordMismatches;
    using Count = std::pair<LockoutKind, std::optional<LockoutRecord>>;
    const MismatchBackoff::Options& o = m_backoff.options();
    const auto work = [object, address, o](FleetStore& store) {
        std::vector<Count> counts;
        counts.emplace_back(LockoutKind::Object,
                            MismatchBackoff::countIn(store, LockoutKind::Object, object, o.objectLimit, o.seconds));
        if (o.addressLimit > 0)
            counts.emplace_back(LockoutKind::Address,
                                MismatchBackoff::countIn(store, LockoutKind::Address, address, o.addressLimit, o.seconds));
        return counts;
    };
    const auto done = [this, id = c.id, object, address](const std::vector<Count>& counts) {
        for (const auto& [kind, record] : counts) {
            const auto started = m_backoff.counted(kind, kind == LockoutKind::Object ? object : address, record);
            if (!started) continue;
            if (started->kind == LockoutKind::Object)
                log(QStringLiteral("locking out object %1 until %2 after %3 password mismatches")
                        .arg(q(started->subject), q(started->lockedUntil))
                        .arg(started->mismatches));
            else
                log(QStringLiteral("locking out %1 until %2 after %3 password mismatches from it")
                        .arg(q(started->subject), q(started->lockedUntil))
                        .arg(started->mismatches));
        }
        // Its other jobs would fail alike: a locked-out module is not served on.
        const auto it = m_connections.find(id);
        if (it == m_connections.end() || it->second->closing) return;
        if (m_backoff.lockedOut(LockoutKind::Object, object) || m_backoff.lockedOut(LockoutKind::Address, address)) {
            log(QStringLiteral("closing the connection from %1 (object %2): locked out").arg(it->second->peer, q(object)));
            closeLater(id);
        }
    };
    if (!ask(work, done)) (void)storeBusy(QStringLiteral("a password mismatch of object %1").arg(q(object)));
}

void FleetServer::recordProved(const std::string& object) {
    (void)ask([object](FleetStore& store) { store.clearMismatches(object); }, [] {});
}

std::optional<std::string> FleetServer::keepForJob(int id, std::int64_t jobId, const QString& what,
                                                   std::function<Kept(FleetStore&)> work) {
    const bool posted = ask(std::move(work), [this, id, jobId, what](const Kept& kept) {
        // Counted and logged even when the connection has gone meanwhile.
        const std::string problem = kept.ok ? std::string() : storeFailed(what, kept.error);
        const auto it = m_connections.find(id);
        if (it == m_connections.end()) return;
        catchUp(*it->second);
        it->second->runner.storeAnswered(jobId, problem);
        reschedule(id);
    });
    if (!posted) return storeBusy(what);
    return std::nullopt;
}

}  // namespace kv6::fleet
