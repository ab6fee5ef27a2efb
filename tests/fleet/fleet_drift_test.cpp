#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "fleet/drift_json.h"
#include "fleet/fleet_drift.h"
#include "fleet/module_image_layout.h"
#include "fleet/sql_fleet_store.h"
#include "fleet/utc_time.h"
#include "pages/configuration.h"
#include "settings/image_edit.h"
#include "support/core_app.h"

namespace kv6::fleet::test {

namespace {

using settings::Json;

Json document(const Json& object) { return {{"format", "kv6-settings"}, {"version", 1}, {"object", object}}; }

// An erased module's image with the fields set as `kv6ctl apply` sets them.
image::Image imageWith(const Json& object) {
    pages::Configuration configuration;
    configuration.document.setRemembersFields(false);
    const image::Image erased{};
    configuration.workspace.ReceivedImage = erased;
    configuration.document.DecodeImage(image::DecodeSource::FileLoad);
    const settings::ImageEdit edit(configuration, erased);
    EXPECT_TRUE(settings::applyJson(configuration.document, document(object)).empty());
    return edit.edited();
}

DriftSource settingsSource(const Json& object) {
    DriftSource source;
    source.format = WriteFormat::SettingsJson;
    source.document = document(object);
    return source;
}

std::vector<std::string> keys(const DriftRow& row) {
    std::vector<std::string> list;
    for (const auto& field : row.difference.fields) list.push_back(field.key);
    return list;
}

class DriftTest : public ::testing::Test {
protected:
    DriftTest() {
        kv6::test::coreApp();
        std::string error;
        EXPECT_TRUE(store.open(error)) << error;
    }
    void seen(const std::string& object) { ASSERT_TRUE(store.moduleSeen(object, "198.51.100.7", "KV6").has_value()); }
    std::int64_t backup(const std::string& object, const image::Image& image) {
        seen(object);
        const std::int64_t id = store.addBackup(object, 0, "read", image, {});
        EXPECT_GT(id, 0);
        return id;
    }
    std::vector<std::string> objectsOf(const FleetTarget& target, std::size_t limit) {
        DriftQuery query;
        query.source = settingsSource({{"apn", "x"}});
        query.target = target;
        query.limit = limit;
        std::vector<std::string> seenObjects;
        do {
            const auto page = store.driftPage(query);
            EXPECT_TRUE(page && page->error.empty());
            if (!page) break;
            for (const DriftRow& row : page->rows) seenObjects.push_back(row.object);
            query.after = page->next;
        } while (!query.after.empty());
        return seenObjects;
    }

    QTemporaryDir dir;
    SqlFleetStore store{dir.filePath(QStringLiteral("fleet.sqlite")), QStringLiteral("test")};
    const image::Image site = imageWith({{"apn", "internet"}, {"ipPort", "5000"}, {"gprsUser", "alarm"}});
};

}  // namespace

TEST_F(DriftTest, OnlyTheFieldsAWriteWouldChangeAreNamedWithTheBackupsAndTheFilesValues) {
    const std::int64_t id = backup("1001", site);
    // The user is already as the file says, and a write keeps the module's own object number.
    const DriftRow row = FleetDrift::row(
        store, "1001",
        settingsSource({{"apn", "fleet.apn"}, {"ipPort", "6001"}, {"gprsUser", "alarm"}, {"objectNumber", "9999"}}));
    ASSERT_EQ(row.backupId, id);
    EXPECT_TRUE(row.problems.empty());
    EXPECT_EQ(keys(row), (std::vector<std::string>{"object.ipPort", "object.apn"}));
    ASSERT_EQ(row.difference.fields.size(), 2u);
    EXPECT_EQ(row.difference.fields[0].before, "5000");
    EXPECT_EQ(row.difference.fields[0].after, "6001");
    EXPECT_EQ(row.difference.fields[1].before, "internet");
    EXPECT_EQ(row.difference.fields[1].after, "fleet.apn");
    EXPECT_TRUE(row.difference.otherBytes.empty());
    EXPECT_EQ(std::string(driftState(row)), "differs");
    EXPECT_EQ(settings::diffText(row.difference), "object.ipPort: 5000 -> 6001\nobject.apn: internet -> fleet.apn\n");
}

TEST_F(DriftTest, AModuleAsTheFileSaysShowsNothingEvenWithAnotherNumberClockAndPasswordInTheImage) {
    backup("1001", site);
    EXPECT_TRUE(FleetDrift::row(store, "1001", settingsSource({{"apn", "internet"}})).difference.empty());
    // The same site's image saved elsewhere: its object number, clock and password are not written.
    DriftSource prg;
    prg.format = WriteFormat::Prg;
    prg.prg = site;
    prg.prg[layout::kObjectNumberOffset] ^= 0x01;
    prg.prg[layout::kClockOffset] ^= 0x10;
    prg.prg[layout::kPasswordOffset] ^= 0x22;
    const DriftRow same = FleetDrift::row(store, "1001", prg);
    EXPECT_TRUE(same.difference.empty()) << settings::diffText(same.difference);
    EXPECT_EQ(std::string(driftState(same)), "same");
    // A .prg with another APN names that field alone.
    prg.prg = imageWith({{"apn", "other.apn"}, {"ipPort", "5000"}, {"gprsUser", "alarm"}});
    EXPECT_EQ(keys(FleetDrift::row(store, "1001", prg)), std::vector<std::string>{"object.apn"});
}

TEST_F(DriftTest, AModuleWithoutABackupIsListedAsSuchAndTheNewestBackupCounts) {
    seen("1002");
    const DriftRow none = FleetDrift::row(store, "1002", settingsSource({{"apn", "fleet.apn"}}));
    EXPECT_FALSE(none.backupId);
    EXPECT_TRUE(none.difference.empty());
    EXPECT_EQ(std::string(driftState(none)), "no backup");

    backup("1001", imageWith({{"apn", "old.apn"}}));
    const std::int64_t newest = backup("1001", site);
    const DriftRow row = FleetDrift::row(store, "1001", settingsSource({{"apn", "internet"}}));
    EXPECT_EQ(row.backupId, newest);
    EXPECT_TRUE(row.difference.empty());
}

TEST_F(DriftTest, TargetsArePagedEachModuleOnceInObjectOrder) {
    for (const char* object : {"1005", "1001", "1004", "1002", "1003"}) seen(object);
    const std::vector<std::string> all{"1001", "1002", "1003", "1004", "1005"};
    EXPECT_EQ(objectsOf(FleetTarget{}, 2), all);
    EXPECT_EQ(objectsOf(FleetTarget{}, 100), all);
    std::string error;
    // Objects never seen are listed too: as modules without a backup.
    const auto listed = FleetTarget::objectList({"2002", "1003", "2002", "0001"}, error);
    ASSERT_TRUE(listed) << error;
    EXPECT_EQ(objectsOf(*listed, 1), (std::vector<std::string>{"0001", "1003", "2002"}));

    EXPECT_FALSE(FleetTarget::objectList({"1001", "12345"}, error));
    EXPECT_EQ(error, "'12345' is no object number (one to four letters or digits)");
    EXPECT_FALSE(FleetTarget::objectList({}, error));
    EXPECT_FALSE(FleetTarget::parse("everything", error));
    EXPECT_EQ(error, "all, tag:NAME or a list of object numbers is needed, not 'everything'");
    const auto tag = FleetTarget::parse("tag:north", error);
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->tag, "north");
    // A tag takes only the modules that carry it.
    ASSERT_EQ(store.changeTags("north", {"1003"}, true), 1);
    DriftQuery query;
    query.target = *tag;
    const auto tagged = store.driftPage(query);
    ASSERT_TRUE(tagged);
    EXPECT_TRUE(tagged->error.empty()) << tagged->error;
    ASSERT_EQ(tagged->rows.size(), 1u);
    EXPECT_EQ(tagged->rows[0].object, "1003");
}

TEST_F(DriftTest, ARowGoesThroughItsJsonUnchanged) {
    backup("1001", site);
    DriftRow row = FleetDrift::row(store, "1001", settingsSource({{"apn", "fleet \"apn\""}, {"ipPort", "6001"}}));
    row.difference.otherBytes.push_back({300, 302});
    const Json json = driftRowJson(row, *utcSeconds(row.takenAt) + 3 * 86400 + 5);
    EXPECT_EQ(json["ageDays"], 3);
    EXPECT_EQ(json["state"], "differs");
    const auto back = driftRowFromJson(json);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->backupId, row.backupId);
    EXPECT_EQ(back->takenAt, row.takenAt);
    EXPECT_EQ(settings::diffText(back->difference), settings::diffText(row.difference));
    EXPECT_FALSE(driftRowFromJson(Json{{"object", "1001"}, {"items", {{{"key", 5}}}}}));
    const DriftRow none = driftRowFromJson(driftRowJson(DriftRow{"1003", std::nullopt, {}, {}, {}}, 0)).value();
    EXPECT_FALSE(none.backupId);
}

}  // namespace kv6::fleet::test
