#pragma once

#include <QStringList>
#include <vector>

namespace kv6::fleet {

// The store's schema, one entry per version: entry N holds the statements
// that move a store from version N to N + 1 ({id} and {blob} stand for the
// dialect's own types). A store is never migrated back.
[[nodiscard]] const std::vector<QStringList>& schemaMigrations();

}  // namespace kv6::fleet
