#pragma once

// SQL pieces the rollouts' statements share.
#include <QString>

namespace kv6::fleet::rollout_sql {

// The states in which a rollout still holds its modules.
inline const QString kUnfinished = QStringLiteral("('awaiting approval', 'approved', 'running', 'paused', 'halted')");

// A module's state in its wave: "waiting" before its job is queued; a job
// deleted since counts as ended.
inline const QString kModuleState =
    QStringLiteral("CASE WHEN m.job_id IS NULL THEN 'waiting' ELSE COALESCE(j.state, 'done') END");

}  // namespace kv6::fleet::rollout_sql
