#include "fleet/retention_pruner.h"

namespace kv6::fleet {

RetentionPruner::RetentionPruner(FleetStore& store, const Policy& policy, QObject* parent)
    : QObject(parent), m_store(store), m_policy(policy) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (step()) m_timer.start(0);  // the next batch once the loop has served what waits
    });
}

void RetentionPruner::start(int firstMs) {
    if (m_policy.keepDays <= 0) return;
    m_timer.start(firstMs);
}

bool RetentionPruner::step() {
    if (m_phase == Phase::Idle) {
        m_phase = Phase::Backups;
        m_after = 0;
        m_backups = 0;
        m_jobs = 0;
    }
    if (m_phase == Phase::Backups) {
        const auto pruned = m_store.pruneBackups(m_policy.keepBackups, m_policy.keepDays, m_after, kBatch);
        if (!pruned) {
            endPass(true);
            return false;
        }
        m_backups += pruned->deleted;
        m_after = pruned->lastId;
        if (pruned->deleted == kBatch) return true;
        m_phase = Phase::Jobs;
        return true;
    }
    const int deleted = m_store.pruneJobs(m_policy.keepDays, kBatch);
    if (deleted < 0) {
        endPass(true);
        return false;
    }
    m_jobs += deleted;
    if (deleted == kBatch) return true;
    endPass(false);
    return false;
}

void RetentionPruner::endPass(bool failed) {
    m_phase = Phase::Idle;
    if (m_policy.keepDays > 0) m_timer.start(kPassMs);
    emit passEnded(m_backups, m_jobs, failed);
}

}  // namespace kv6::fleet
