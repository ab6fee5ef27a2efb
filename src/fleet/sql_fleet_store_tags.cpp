// Tags as the store keeps them: one row per tag and object.
#include <QSqlQuery>
#include <QSqlRecord>

#include "fleet/sql_fleet_store.h"
#include "fleet/sql_store_text.h"

namespace kv6::fleet {

namespace {

// Rows per statement: well under any database's limit of values.
constexpr std::size_t kTagBatch = 400;

}  // namespace

long long SqlFleetStore::changeTags(const std::string& tag, const std::vector<std::string>& objects, bool add) {
    if (!m_db.transaction()) {
        m_lastError = "the store could not begin a change";
        return -1;
    }
    long long changed = 0;
    const QString stamp = now();
    for (std::size_t from = 0; from < objects.size(); from += kTagBatch) {
        const std::size_t to = std::min(objects.size(), from + kTagBatch);
        QString sql = add ? QStringLiteral("INSERT INTO module_tags (tag, object, tagged_at) VALUES ")
                          : QStringLiteral("DELETE FROM module_tags WHERE tag = ? AND object IN (");
        QVariantList values;
        if (!add) values << qText(tag);
        for (std::size_t i = from; i < to; ++i) {
            if (add) {
                sql += i == from ? QStringLiteral("(?, ?, ?)") : QStringLiteral(", (?, ?, ?)");
                values << qText(tag) << qText(objects[i]) << stamp;
            } else {
                sql += i == from ? QStringLiteral("?") : QStringLiteral(", ?");
                values << qText(objects[i]);
            }
        }
        sql += add ? QStringLiteral(" ON CONFLICT DO NOTHING") : QStringLiteral(")");
        QSqlQuery query(m_db);
        if (!run(query, sql, values)) {
            m_db.rollback();
            return -1;
        }
        changed += query.numRowsAffected();
    }
    return commit() ? changed : -1;
}

std::optional<std::vector<std::string>> SqlFleetStore::tagsOf(const std::string& object) {
    const auto rows = selectRows(QStringLiteral("SELECT tag FROM module_tags WHERE object = ? ORDER BY tag"), {qText(object)});
    if (!rows) return std::nullopt;
    std::vector<std::string> tags;
    for (const QVariantList& row : *rows) tags.push_back(stdText(row.at(0)));
    return tags;
}

std::optional<std::vector<QVariantList>> SqlFleetStore::selectRows(const QString& sql, const QVariantList& values) {
    QSqlQuery query(m_db);
    if (!run(query, sql, values)) return std::nullopt;
    std::vector<QVariantList> rows;
    const int columns = query.record().count();
    while (query.next()) {
        QVariantList row;
        for (int i = 0; i < columns; ++i) row << query.value(i);
        rows.push_back(std::move(row));
    }
    if (!finished(query, sql)) return std::nullopt;
    return rows;
}

}  // namespace kv6::fleet
