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
    const std::optional<std::uint16_t> recorded = m_store.recordedPassword(object);
    if (!recorded) {
        log(QStringLiteral("object %1 called again from %2; with no password recorded to prove it, it waits until "
                           "the older connection ends")
                .arg(q(object), c.peer));
        return;
    }
    log(QStringLiteral("object %1 called again from %2; the older connection stays until this one proves the "
                       "recorded password")
            .arg(q(object), c.peer));
    const int id = c.id;
    const std::uint16_t password = *recorded;
    QMetaObject::invokeMethod(
        this,
        [this, id, password] {
            const auto it = m_connections.find(id);
            if (it == m_connections.end() || it->second->closing) return;
            catchUp(*it->second);
            it->second->runner.prove(password);
            reschedule(id);
        },
        Qt::QueuedConnection);
}

void FleetServer::take(Connection& c) {
    const std::string& object = c.runner.object();
    c.stage = Connection::Stage::Serving;
    m_byObject[object] = c.id;
    const std::optional<bool> first = m_store.moduleSeen(object, c.peer.toStdString(), c.identification);
    if (!first) {
        (void)storeFailed(QStringLiteral("that object %1 called").arg(q(object)));
        return;
    }
    log(QStringLiteral("object %1 identified from %2%3").arg(q(object), c.peer, *first ? QStringLiteral(" (first seen)") : QString()));
    if (*first && m_options.inventoryRead) {
        NewJob read;
        read.object = object;
        read.kind = JobKind::Read;
        if (m_store.queueJob(read) == 0) (void)storeFailed(QStringLiteral("the inventory read of object %1").arg(q(object)));
    }
    if (m_options.backupEveryDays > 0) {
        const auto due = BackupPolicy(m_options.backupEveryDays).apply(m_store, object, QDateTime::currentSecsSinceEpoch());
        if (due.action == BackupPolicy::Decision::Action::StoreFailed)
            (void)storeFailed(QStringLiteral("the backup policy's read of object %1").arg(q(object)));
        else if (due.action == BackupPolicy::Decision::Action::Queued)
            log(QStringLiteral("object %1: read job %2 queued to keep a recent backup (every %3 d): %4")
                    .arg(q(object))
                    .arg(due.jobId)
                    .arg(m_options.backupEveryDays)
                    .arg(q(due.why)));
    }
    startNextLater(c.id);
}

void FleetServer::proofEnded(Connection& c, Proof proof) {
    const std::string object = c.runner.object();
    if (const auto it = m_contenders.find(object); it != m_contenders.end() && it->second == c.id) m_contenders.erase(it);
    if (c.closing) return;
    switch (proof) {
        case Proof::Proved: {
            m_backoff.proved(object);
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
    // The password first: a job whose end is not stored runs again, and
    // proves the object with what is recorded.
    bool stored = !outcome.recordedPassword || m_store.recordPassword(job.object, *outcome.recordedPassword);
    // An attempt this server cut short (it stops, its store failed) is not the module's.
    const auto attempt = m_stopping || !m_storeReachable || outcome.end == JobEnd::StoreFailed
                             ? FleetStore::Attempt::GivenBack
                             : FleetStore::Attempt::Counted;
    switch (outcome.end) {
        case JobEnd::Done:
            stored = stored && m_store.finishJob(job.id, JobState::Done, outcome.result);
            break;
        case JobEnd::Failed:
            stored = stored && m_store.finishJob(job.id, JobState::Failed, outcome.result);
            break;
        case JobEnd::Interrupted:
        case JobEnd::StoreFailed:
            stored = stored && m_store.requeueJob(job.id, outcome.result, m_options.maxAttempts, attempt);
            break;
        case JobEnd::LeaseLost:  // ended above
            break;
    }
    const bool discarded = stored && m_store.lastEndDiscarded();
    if (!stored && m_storeReachable) (void)storeFailed(QStringLiteral("the end of job %1").arg(job.id));
    log(QStringLiteral("object %1 job %2 %3: %4")
            .arg(q(job.object))
            .arg(job.id)
            .arg(q(std::string(kindName(job.kind))), q(outcome.result)));
    if (discarded)
        log(QStringLiteral("object %1 job %2: outcome discarded, the job is no longer this server's (its lease "
                           "lapsed and another server took it or queued it again)")
                .arg(q(job.object))
                .arg(job.id));
    if (outcome.passwordMismatch) noteMismatch(connection, job.object);
    startNextLater(connection.id);
}

void FleetServer::noteMismatch(Connection& c, const std::string& object) {
    const std::string address = c.peer.toStdString();
    ++m_counters.passwordMismatches;
    for (const LockoutRecord& record : m_backoff.mismatch(object, address)) {
        if (record.kind == LockoutKind::Object)
            log(QStringLiteral("locking out object %1 until %2 after %3 password mismatches")
                    .arg(q(record.subject), q(record.lockedUntil))
                    .arg(record.mismatches));
        else
            log(QStringLiteral("locking out %1 until %2 after %3 password mismatches from it")
                    .arg(q(record.subject), q(record.lockedUntil))
                    .arg(record.mismatches));
    }
    // Its other jobs would fail alike: a locked-out module is not served on.
    if (!c.closing && (m_backoff.lockedOut(LockoutKind::Object, object) || m_backoff.lockedOut(LockoutKind::Address, address))) {
        log(QStringLiteral("closing the connection from %1 (object %2): locked out").arg(c.peer, q(object)));
        closeLater(c.id);
    }
}

}  // namespace kv6::fleet
