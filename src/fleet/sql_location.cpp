#include "fleet/sql_location.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace kv6::fleet {

namespace {

bool isPostgresUrl(const QString& text) {
    return text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://"));
}

}  // namespace

std::optional<SqlLocation> SqlLocation::parse(const QString& text, std::string& error) {
    SqlLocation location;
    if (!isPostgresUrl(text)) {
        QString file = text;
        if (file.startsWith(QLatin1String("sqlite://"))) file = file.mid(9);
        else if (file.startsWith(QLatin1String("sqlite:"))) file = file.mid(7);
        if (file.isEmpty()) {
            error = "no database file given";
            return std::nullopt;
        }
        location.m_file = file;
        location.m_display = file;
        return location;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        error = "not a usable PostgreSQL URL; give postgresql://USER@HOST[:PORT]/DATABASE";
        return std::nullopt;
    }
    location.m_kind = SqlDialect::Kind::Postgres;
    location.m_host = url.host();
    location.m_port = url.port(5432);
    location.m_user = url.userName();
    location.m_password = url.password();
    location.m_database = url.path().mid(1);
    if (location.m_user.isEmpty() || location.m_database.isEmpty() || location.m_database.contains('/')) {
        error = "a PostgreSQL URL names a user and a database: postgresql://USER@HOST[:PORT]/DATABASE";
        return std::nullopt;
    }
    // libpq reads "key=value key=value": a value with a blank or a quote would
    // smuggle in other keywords.
    static const QRegularExpression keyword(QStringLiteral("^[a-z_]+$"));
    static const QRegularExpression plainValue(QStringLiteral("^[^\\s'\"\\\\;]+$"));
    QStringList options;
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (!keyword.match(key).hasMatch() || !plainValue.match(value).hasMatch() || key == QLatin1String("password")) {
            error = "the PostgreSQL URL option '" + key.toStdString() +
                    "' is not usable (a password goes in a passfile)";
            return std::nullopt;
        }
        options << key + '=' + value;
    }
    location.m_connectOptions = options.join(';');
    location.m_display = url.toDisplayString(QUrl::RemovePassword);
    return location;
}

}  // namespace kv6::fleet
