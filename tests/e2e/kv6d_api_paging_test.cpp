#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrlQuery>
#include <map>

#include "kv6d_api_fixture.h"

namespace kv6::e2e {

namespace {

// Another program's connection to the store, changing it between two pages.
class StoreWriter {
public:
    explicit StoreWriter(const QString& path) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kName);
        db.setDatabaseName(path);
        db.open();
    }
    ~StoreWriter() {
        QSqlDatabase::database(kName).close();
        QSqlDatabase::removeDatabase(kName);
    }
    StoreWriter(const StoreWriter&) = delete;
    StoreWriter& operator=(const StoreWriter&) = delete;

    QString run(const QString& sql) {
        QSqlQuery query(QSqlDatabase::database(kName));
        return query.exec(sql) ? QString() : query.lastError().text();
    }

private:
    static constexpr const char* kName = "paging-writer";
};

}  // namespace

TEST_F(Kv6dApi, PagingThroughTenThousandModulesWhileTheyChangeGivesEachOnceInOrder) {
    const QByteArray viewer = addKey(QStringLiteral("wall-screen"), QStringLiteral("viewer"));
    StoreWriter writer(db());
    // Object numbers 0000..9999, as if each had called once.
    ASSERT_EQ(writer.run(QStringLiteral(
                  "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 9999) "
                  "INSERT INTO modules (object, peer, identification, first_seen, last_seen, connected) "
                  "SELECT printf('%04d', i), '192.0.2.7', '', '2026-12-01T00:00:00Z', '2026-12-01T00:00:00Z', "
                  "0 FROM n")),
              QString());
    startApiServer();
    // Every third one is connected (the server marks none connected as it starts).
    ASSERT_EQ(writer.run(QStringLiteral("UPDATE modules SET connected = 1 WHERE CAST(object AS INTEGER) % 3 = 0")),
              QString());

    // Pages of 700 (no divisor of the count); between two pages, modules
    // come and go on both sides of the page's end.
    std::map<QString, int> seen;
    QStringList order;
    QString cursor;
    int pages = 0;
    do {
        QUrlQuery query{{"limit", "700"}};
        if (!cursor.isEmpty()) query.addQueryItem(QStringLiteral("cursor"), cursor);
        const ApiAnswer page = call("GET", "/api/v1/modules?" + query.toString(QUrl::FullyEncoded), viewer);
        ASSERT_EQ(page.status, 200) << page.body.toStdString();
        const QJsonObject body = QJsonDocument::fromJson(page.body).object();
        const QJsonArray items = body.value("items").toArray();
        for (const auto& item : items) {
            const QString object = item.toObject().value("object").toString();
            ++seen[object];
            order << object;
        }
        cursor = body.value("next").toString();
        if (pages == 0) {
            ASSERT_EQ(items.size(), 700);
            ASSERT_EQ(cursor.isEmpty(), false);
            // One already listed and one still to come go; one before the
            // cursor and one after it come.
            ASSERT_EQ(writer.run(QStringLiteral("DELETE FROM modules WHERE object IN ('0003', '5000')")), QString());
            ASSERT_EQ(writer.run(QStringLiteral("INSERT INTO modules (object, peer, identification, first_seen, "
                                                "last_seen, connected) VALUES ('012A', '', '', '', '', 0), "
                                                "('A000', '', '', '', '', 1)")),
                      QString());
        }
        ++pages;
    } while (!cursor.isEmpty() && pages < 100);

    EXPECT_EQ(pages, 15);  // 9,999 modules after the first page's changes
    for (int i = 0; i < 10000; ++i) {
        const QString object = QString::number(i).rightJustified(4, QLatin1Char('0'));
        const int expected = object == "5000" ? 0 : 1;
        EXPECT_EQ(seen[object], expected) << object.toStdString();
    }
    EXPECT_EQ(seen["A000"], 1);  // came after the cursor
    EXPECT_EQ(seen["012A"], 0);  // came before it: the next walk shows it
    QStringList sorted = order;
    sorted.sort();
    EXPECT_EQ(order, sorted);

    // The filters page the same way.
    const ApiAnswer connected = call("GET", "/api/v1/modules?connected=true&limit=1000", viewer);
    const QJsonObject connectedBody = QJsonDocument::fromJson(connected.body).object();
    EXPECT_EQ(connectedBody.value("items").toArray().size(), 1000);
    EXPECT_EQ(connectedBody.value("items").toArray().at(1).toObject().value("object").toString(), "0006");
    const ApiAnswer part = call("GET", "/api/v1/modules?q=99&limit=1000", viewer);
    const QJsonArray partItems = QJsonDocument::fromJson(part.body).object().value("items").toArray();
    ASSERT_EQ(partItems.size(), 280);  // 0099, 0199, ..., 0990..0999, 1099, ...
    EXPECT_EQ(partItems.at(0).toObject().value("object").toString(), "0099");
    const ApiAnswer wild = call("GET", "/api/v1/modules?q=%25", viewer);
    EXPECT_EQ(wild.status, 400);
    EXPECT_EQ(wild.body, "{\n  \"error\": \"q: a part of an object number (up to four letters or digits) is needed\"\n}\n")
        << wild.body.toStdString();
}

}  // namespace kv6::e2e
