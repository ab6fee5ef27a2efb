// Operators' keys for the HTTP API: only each key's SHA-256 is kept, and a
// revoked key stays listed with the time it was revoked.
#include <QSqlQuery>

#include "fleet/sql_fleet_store.h"
#include "fleet/sql_store_text.h"

namespace kv6::fleet {

namespace {

ApiKeyRecord keyOf(const QSqlQuery& query) {
    return {stdText(query.value(0)), stdText(query.value(1)), stdText(query.value(2)), stdText(query.value(3))};
}

}  // namespace

bool SqlFleetStore::addApiKey(const std::string& name, const std::string& role, const std::string& sha256Hex) {
    QSqlQuery query(m_db);
    // The write lock from the start (on SQLite): a transaction that reads
    // first cannot take it later once another program has written, and fails
    // at once instead of waiting.
    if (!run(query, m_dialect.beginWriting())) return false;
    const QString live = QStringLiteral("SELECT count(*) FROM api_keys WHERE name = ? AND revoked_at IS NULL");
    if (!run(query, live, {qText(name)})) {
        m_db.rollback();
        return false;
    }
    const bool taken = query.next() && query.value(0).toInt() > 0;
    query.finish();
    if (taken) {
        m_db.rollback();
        m_lastError = "a key named " + name + " exists: revoke it first";
        return false;
    }
    if (!run(query, QStringLiteral("INSERT INTO api_keys (name, role, key_sha256, created_at) VALUES (?, ?, ?, ?)"),
             {qText(name), qText(role), qText(sha256Hex), now()})) {
        m_db.rollback();
        return false;
    }
    return commit();
}

std::vector<ApiKeyRecord> SqlFleetStore::apiKeys() {
    QSqlQuery query(m_db);
    std::vector<ApiKeyRecord> keys;
    if (run(query, QStringLiteral("SELECT name, role, created_at, COALESCE(revoked_at, '') FROM api_keys ORDER BY id")))
        while (query.next()) keys.push_back(keyOf(query));
    return keys;
}

int SqlFleetStore::revokeApiKey(const std::string& name) {
    QSqlQuery query(m_db);
    if (!run(query, QStringLiteral("UPDATE api_keys SET revoked_at = ? WHERE name = ? AND revoked_at IS NULL"),
             {now(), qText(name)}))
        return -1;
    return query.numRowsAffected();
}

std::optional<ApiKeyRecord> SqlFleetStore::apiKeyByHash(const std::string& sha256Hex) {
    const Kept found = runKept(QStringLiteral("SELECT name, role, created_at, '' FROM api_keys "
                                              "WHERE key_sha256 = ? AND revoked_at IS NULL"),
                               {qText(sha256Hex)});
    if (found.rows.empty()) return std::nullopt;
    const QVariantList& row = found.rows.front();
    return ApiKeyRecord{stdText(row.at(0)), stdText(row.at(1)), stdText(row.at(2)), std::string()};
}

}  // namespace kv6::fleet
