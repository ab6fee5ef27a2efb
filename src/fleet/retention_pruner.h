#pragma once

#include <QObject>
#include <QTimer>
#include <string>

#include "fleet/fleet_store.h"

namespace kv6::fleet {

// Keeps the store from growing without end: a pass every kPassMs deletes the
// backups (with their journals) beyond the newest `keepBackups` of each
// module that are older than `keepDays`, then the jobs that ended more than
// `keepDays` ago. The audit stays whole. Each batch is one short statement
// of at most kBatch rows, and the event loop runs between batches, so that
// neither the modules' work nor another server waits on a long delete.
class RetentionPruner final : public QObject {
    Q_OBJECT
public:
    static constexpr int kBatch = 500;
    static constexpr int kPassMs = 6 * 60 * 60 * 1000;  // ages are counted in days
    static constexpr int kFirstPassMs =
        60 * 1000;  // after start, once the modules' first calls are served

    struct Policy {
        int keepBackups = 10;  // per module, whatever their age
        int keepDays = 90;  // backups and ended jobs younger than this stay; 0: nothing is deleted
    };

    RetentionPruner(FleetStore& store, const Policy& policy, QObject* parent = nullptr);

    // Starts the passes, the first in `firstMs`; nothing when nothing is to be deleted.
    void start(int firstMs = kFirstPassMs);
    // Runs the next batch of the pass; false once the pass has ended (then the next is timed).
    bool step();

signals:
    // A pass ended: what it deleted, or that the store failed (`failed`, with its reason in the
    // store's lastError()).
    void passEnded(int backups, int jobs, bool failed);

private:
    void endPass(bool failed);

    enum class Phase { Idle, Backups, Jobs };
    FleetStore& m_store;
    Policy m_policy;
    QTimer m_timer;
    Phase m_phase = Phase::Idle;
    std::string m_cursor;  // where the pass goes on
    int m_backups = 0;
    int m_jobs = 0;
};

}  // namespace kv6::fleet
