// How the fleet store runs its statements: prepared once and kept on the
// job path, else prepared per run; PostgreSQL gets each in one round trip.
#include "fleet/sql_fleet_store.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include "fleet/sql_store_text.h"

namespace kv6::fleet {

QString SqlFleetStore::literal(const QVariant& value) const {
    QSqlField field(QString(), value.metaType());
    field.setValue(value);
    return m_db.driver()->formatValue(field);
}

// The driver quotes each value as the database expects. No statement here
// holds a literal question mark.
QString SqlFleetStore::inlined(const QString& sql, const QVariantList& values) const {
    QString text;
    auto value = values.begin();
    for (const QChar c : sql) {
        if (c != QLatin1Char('?') || value == values.end())
            text += c;
        else
            text += literal(*value++);
    }
    return text;
}

void SqlFleetStore::failed(const QString& what, const QString& sql, const QSqlError& error) {
    // The database's own words ("database or disk is full"), not Qt's frame around them.
    const QString reason = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    // The statement only for a developer: a log of SQL texts hides what failed.
    qCWarning(lcStore).noquote() << what << reason.trimmed();
    qCDebug(lcStore).noquote() << "the statement:" << sql << "|" << error.text();
    m_lastError = reason.toStdString();
}

bool SqlFleetStore::run(QSqlQuery& query, const QString& sql, const QVariantList& values) {
    const StatementTimer timer(m_statementTimes);
    // Without values, straight to the database: PostgreSQL prepares no DDL.
    if (values.size() == 0) {
        if (query.exec(sql)) return true;
        failed(QStringLiteral("statement failed:"), sql, query.lastError());
        return false;
    }
    if (m_dialect.kind() == SqlDialect::Kind::Postgres) {
        // One round trip instead of PREPARE, EXECUTE and DEALLOCATE.
        if (query.exec(inlined(sql, values))) return true;
        failed(QStringLiteral("statement failed:"), sql, query.lastError());
        return false;
    }
    if (!query.prepare(sql)) {
        failed(QStringLiteral("prepare failed:"), sql, query.lastError());
        return false;
    }
    for (const QVariant& value : values) query.addBindValue(value);
    if (!query.exec()) {
        failed(QStringLiteral("statement failed:"), sql, query.lastError());
        return false;
    }
    return true;
}

bool SqlFleetStore::finished(QSqlQuery& query, const QString& sql) {
    while (query.next()) {
    }
    const QSqlError error = query.lastError();
    query.finish();
    if (error.type() == QSqlError::NoError) return true;
    failed(QStringLiteral("statement failed at its end:"), sql, error);
    return false;
}

bool SqlFleetStore::commit() {
    if (m_db.commit()) return true;
    failed(QStringLiteral("commit failed:"), QString(), m_db.lastError());
    m_db.rollback();
    return false;
}

SqlFleetStore::Kept SqlFleetStore::runKept(const QString& sql, const QVariantList& values) {
    const StatementTimer timer(m_statementTimes);
    Kept result;
    QSqlQuery oneOff(m_db);
    QSqlQuery* query = &oneOff;
    bool ran = false;
    if (m_dialect.kind() == SqlDialect::Kind::Postgres) {
        ran = oneOff.exec(inlined(sql, values));
    } else {
        auto kept = m_kept.find(sql);
        if (kept == m_kept.end()) {
            QSqlQuery prepared(m_db);
            if (!prepared.prepare(sql)) {
                failed(QStringLiteral("prepare failed:"), sql, prepared.lastError());
                return result;
            }
            kept = m_kept.emplace(sql, std::move(prepared)).first;
        }
        query = &kept->second;
        for (qsizetype i = 0; i < values.size(); ++i) query->bindValue(static_cast<int>(i), values[i]);
        ran = query->exec();
    }
    if (!ran) {
        failed(QStringLiteral("statement failed:"), sql, query->lastError());
        query->finish();
        return result;
    }
    result.changed = query->numRowsAffected();
    const int columns = query->record().count();
    while (query->next()) {
        QVariantList row;
        for (int i = 0; i < columns; ++i) row << query->value(i);
        result.rows.push_back(std::move(row));
    }
    // A change that gave its rows (RETURNING) and then failed to commit is not stored.
    result.ok = finished(*query, sql);
    if (!result.ok) {
        result.rows.clear();
        result.changed = 0;
    }
    return result;
}

}  // namespace kv6::fleet
