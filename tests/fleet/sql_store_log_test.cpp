#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "fleet/sql_fleet_store.h"
#include "support/core_app.h"

namespace kv6::fleet::test {

namespace {

// The messages logged while it lives, with their levels.
class LogCapture {
public:
    LogCapture() {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&LogCapture::keep);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    [[nodiscard]] static QString at(QtMsgType type) {
        QStringList lines;
        for (const auto& [t, line] : s_lines)
            if (t == type) lines << line;
        return lines.join('\n');
    }

private:
    static void keep(QtMsgType type, const QMessageLogContext&, const QString& message) {
        s_lines.emplace_back(type, message);
    }
    static inline std::vector<std::pair<QtMsgType, QString>> s_lines;
    QtMessageHandler m_previous = nullptr;
};

class StoreLog : public ::testing::Test {
protected:
    StoreLog() { kv6::test::coreApp(); }
    [[nodiscard]] QString path() const { return dir.filePath(QStringLiteral("fleet.sqlite")); }
    QTemporaryDir dir;
};

}  // namespace

TEST_F(StoreLog, AFailedStatementIsLoggedWithTheDatabasesReasonAndItsSqlOnlyAtDebug) {
    SqlFleetStore store(path(), QStringLiteral("test"));
    std::string error;
    ASSERT_TRUE(store.open(error)) << error;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("log-raw"));
        db.setDatabaseName(path());
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("DROP TABLE audit")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("log-raw"));
    {
        const LogCapture log;
        EXPECT_FALSE(store.addAudit("1001", 1, "gsm.apn: a -> b"));
        EXPECT_EQ(LogCapture::at(QtWarningMsg).toStdString(),
                  "statement failed: no such table: audit");
        EXPECT_EQ(LogCapture::at(QtDebugMsg), QString());
    }
    QLoggingCategory::setFilterRules(QStringLiteral("kv6.store.debug=true"));
    {
        const LogCapture log;
        EXPECT_FALSE(store.addAudit("1001", 1, "gsm.apn: a -> b"));
        EXPECT_TRUE(LogCapture::at(QtDebugMsg).contains("INSERT INTO audit"))
            << LogCapture::at(QtDebugMsg).toStdString();
    }
    QLoggingCategory::setFilterRules(QString());
}

}  // namespace kv6::fleet::test
