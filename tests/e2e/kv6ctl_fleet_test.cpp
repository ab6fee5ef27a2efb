// kv6ctl fleet on a store: what it queues, and the lists scripts read.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "fleet/sql_fleet_store.h"
#include "kv6ctl_serial_fixture.h"

using namespace kv6::e2e;

// What a failed comparison shows.
static void PrintTo(const QJsonObject& object, std::ostream* out) {
    *out << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

class Kv6ctlFleet : public ::testing::Test {
protected:
    Kv6ctlFleet() { e2eApp(); }
    [[nodiscard]] QString db() const { return dir.filePath(QStringLiteral("fleet.sqlite")); }
    CtlResult fleet(const QStringList& args) { return runCtl(QStringList{"fleet"} + args + QStringList{"--db", db()}); }
    std::unique_ptr<kv6::fleet::SqlFleetStore> open() {
        auto store = std::make_unique<kv6::fleet::SqlFleetStore>(db());
        std::string error;
        EXPECT_TRUE(store->open(error)) << error;
        return store;
    }
    // The one entry a `--json` list printed.
    QJsonObject only(const QStringList& args) {
        const CtlResult r = fleet(args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QJsonArray list = QJsonDocument::fromJson(r.out.toUtf8()).array();
        EXPECT_EQ(list.size(), 1) << r.out.toStdString();
        return list.isEmpty() ? QJsonObject() : list.first().toObject();
    }

    QTemporaryDir dir;
};

QString q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TEST_F(Kv6ctlFleet, QueuedJobsHoldWhatTheOperatorAskedFor) {
    const CtlResult clear = fleet({"queue", "clear-journal", "--object", "1001", "--password", "1234"});
    ASSERT_EQ(clear.exitCode, 0) << clear.err.toStdString();
    const CtlResult password = fleet({"queue", "password", "--object", "2002", "--password", "1234", "--new", "4321"});
    ASSERT_EQ(password.exitCode, 0) << password.err.toStdString();
    EXPECT_EQ(only({"jobs", "--json", "--object", "1001"}).value("kind"), QStringLiteral("clear-journal"));

    auto store = open();
    const auto cleared = store->claimNextJob("1001");
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->id, clear.out.trimmed().toLongLong());
    EXPECT_EQ(cleared->kind, kv6::fleet::JobKind::ClearJournal);
    const auto changed = store->claimNextJob("2002");
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->kind, kv6::fleet::JobKind::Password);
    EXPECT_EQ(changed->password, std::optional<std::uint16_t>(1234));
    EXPECT_EQ(changed->newPassword, 4321);
}

TEST_F(Kv6ctlFleet, JsonListsKeepEveryKeyScriptsRead) {
    qint64 id = 0;
    qint64 backup = 0;
    {
        auto store = open();
        ASSERT_TRUE(store->moduleSeen("1001", "192.0.2.7", "SR 1001"));
        kv6::fleet::NewJob write;
        write.object = "1001";
        write.kind = kv6::fleet::JobKind::Write;
        write.options.renumber = true;
        write.options.passwordFromFile = true;
        write.by = "dispatch-7";
        id = store->queueJob(write);
        ASSERT_TRUE(store->claimNextJob("1001"));
        backup = store->addBackup("1001", id, "before job 1", kv6::image::Image{}, {});
        ASSERT_TRUE(store->addAudit("1001", id, "object.apn: internet -> fleet.apn\n"));
        ASSERT_TRUE(store->finishJob(id, kv6::fleet::JobState::Done, "verified"));
    }
    auto store = open();
    const auto job = store->jobs(std::nullopt, std::nullopt).at(0);
    EXPECT_EQ(only({"jobs", "--json"}),
              (QJsonObject{{"id", id}, {"object", "1001"}, {"kind", "write"}, {"state", "done"}, {"attempts", 1},
                           {"options", "--renumber --password-from-file"}, {"queued", q(job.queuedAt)}, {"started", q(job.startedAt)}, {"finished", q(job.finishedAt)},
                           {"result", "verified"}, {"by", "dispatch-7"}}));
    const auto module = store->modules(false).at(0);
    EXPECT_EQ(only({"modules", "--json"}),
              (QJsonObject{{"object", "1001"}, {"peer", "192.0.2.7"}, {"identification", "SR 1001"},
                           {"firstSeen", q(module.firstSeen)}, {"lastSeen", q(module.lastSeen)}, {"connected", true}}));
    EXPECT_EQ(only({"backups", "--json", "--object", "1001"}),
              (QJsonObject{{"id", backup}, {"object", "1001"}, {"taken", q(store->backups("1001").at(0).takenAt)},
                           {"source", "before job 1"}, {"job", id}}));
    const auto line = store->audit(std::nullopt).at(0);
    EXPECT_EQ(only({"audit", "--json"}),
              (QJsonObject{{"id", qint64{line.id}}, {"at", q(line.at)}, {"object", "1001"}, {"job", id}, {"outcome", "verified"},
                           {"difference", "object.apn: internet -> fleet.apn\n"}, {"by", "dispatch-7"}}));
}
