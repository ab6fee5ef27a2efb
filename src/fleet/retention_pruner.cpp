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
        m_cursor.clear();
        m_backups = 0;
        m_jobs = 0;
    }
    const bool backups = m_phase == Phase::Backups;
    const auto pruned =
        backups ? m_store.pruneBackups(m_policy.keepBackups, m_policy.keepDays, m_cursor, kBatch)
                : m_store.pruneJobs(m_policy.keepDays, m_cursor, kBatch);
    if (!pruned) {
        endPass(true);
        return false;
    }
    (backups ? m_backups : m_jobs) += pruned->deleted;
    m_cursor = pruned->cursor;
    if (!pruned->ended) return true;
    if (!backups) {
        endPass(false);
        return false;
    }
    m_phase = Phase::Jobs;
    m_cursor.clear();
    return true;
}

void RetentionPruner::endPass(bool failed) {
    m_phase = Phase::Idle;
    if (m_policy.keepDays > 0) m_timer.start(kPassMs);
    emit passEnded(m_backups, m_jobs, failed);
}

}  // namespace kv6::fleet
