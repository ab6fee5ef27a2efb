#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <functional>
#include <set>

#include "fleet/fleet_store.h"

namespace kv6::fleet::test {

// Runs a statement on the store's database beside the store (to date records back).
using RawSql = std::function<void(const QString&)>;

inline std::set<std::int64_t> backupIds(FleetStore& store, const std::string& object) {
    std::set<std::int64_t> ids;
    for (const auto& b : store.backups(object)) ids.insert(b.id);
    return ids;
}

// The store's pruning as kv6d runs it, on any database: batches never larger
// than asked, the newest backups of every object, the young ones and those
// of unfinished jobs kept, journals going with their backups, ended jobs
// going after their days and their audit staying.
inline void pruneOldRecords(FleetStore& store, const RawSql& raw) {
    const auto job = [&](const std::string& object) {
        NewJob j;
        j.object = object;
        j.kind = JobKind::Read;
        j.by = "dispatch-anna";
        return store.queueJob(j);
    };
    const auto ended = [&](const std::string& object, JobState state) {
        const auto id = job(object);
        const auto claimed = store.claimNextJob(object);
        EXPECT_TRUE(claimed && claimed->id == id);
        EXPECT_TRUE(store.finishJob(id, state, "ended"));
        return id;
    };
    const auto done1 = ended("1003", JobState::Done);
    const auto queued = job("1001");
    const auto done2 = ended("1003", JobState::Done);
    const auto failed = ended("1003", JobState::Failed);
    const auto cancelled = job("1003");
    std::string why;
    ASSERT_TRUE(store.cancelJob(cancelled, why)) << why;
    const auto recent = ended("1003", JobState::Done);
    const auto running = job("1002");
    ASSERT_TRUE(store.claimNextJob("1002"));
    ASSERT_TRUE(store.addAudit("1003", done1, "gsm.apn: internet -> m2m"));

    image::Image image{};
    std::vector<journal::JournalRow> journal;
    for (int i = 0; i < 30; ++i)
        journal.push_back({"2012-04-10 14-30-" + std::to_string(10 + i), i % 2 ? "1130" : "3401", "", 1 + i % 8, i});
    std::vector<std::int64_t> of1001;
    for (int i = 0; i < 14; ++i)
        of1001.push_back(store.addBackup("1001", i == 1 ? queued : done1, "read", image, journal));
    const auto runningBackup = store.addBackup("1002", running, "before", image, journal);
    const auto newest1002 = store.addBackup("1002", done2, "read", image, journal);
    const auto only1003 = store.addBackup("1003", done2, "read", image, journal);
    // All but the two newest of 1001 taken long ago; all but one ended job ended long ago.
    raw(QStringLiteral(
            "UPDATE backups SET taken_at = '2020-01-01T00:00:00Z' WHERE id NOT IN (%1, %2)")
            .arg(of1001[12])
            .arg(of1001[13]));
    raw(QStringLiteral(
            "UPDATE jobs SET queued_at = '2020-01-01T00:00:00Z' WHERE id IN (%1, %2, %3, %4, %5)")
            .arg(done1)
            .arg(queued)
            .arg(done2)
            .arg(failed)
            .arg(cancelled));
    raw(QStringLiteral(
            "UPDATE jobs SET finished_at = '2020-01-01T00:00:00Z' WHERE id IN (%1, %2, %3, %4)")
            .arg(done1)
            .arg(done2)
            .arg(failed)
            .arg(cancelled));

    // Ten newest kept: of 1001's four older ones, the one a queued job relies on stays.
    const auto pass = [&](const auto& batch) {
        std::vector<int> batches;
        std::string cursor;
        for (int round = 0; round < 20; ++round) {
            const std::optional<FleetStore::Pruned> pruned = batch(cursor);
            EXPECT_TRUE(pruned) << store.lastError();
            if (!pruned) break;
            batches.push_back(pruned->deleted);
            if (pruned->ended) break;
            cursor = pruned->cursor;
        }
        return batches;
    };
    EXPECT_EQ(
        pass([&](const std::string& cursor) { return store.pruneBackups(10, 90, cursor, 1); }),
        (std::vector<int>{1, 1, 1, 0, 0}));
    std::set<std::int64_t> kept1001(of1001.begin() + 4, of1001.end());
    kept1001.insert(of1001[1]);
    EXPECT_EQ(backupIds(store, "1001"), kept1001);
    EXPECT_EQ(backupIds(store, "1002"), (std::set<std::int64_t>{runningBackup, newest1002}));
    EXPECT_EQ(backupIds(store, "1003"), std::set<std::int64_t>{only1003});
    EXPECT_TRUE(store.journal(of1001[0]).empty());
    EXPECT_TRUE(store.journal(of1001[3]).empty());
    // What stays comes back entry for entry, in its order.
    EXPECT_EQ(store.journal(of1001[1]), journal);

    // One newest kept (none asked: still the newest), and those of the last
    // 90 days: 1001's two young ones stay. A running job's backup stays.
    EXPECT_EQ(
        pass([&](const std::string& cursor) { return store.pruneBackups(0, 90, cursor, 500); }),
        (std::vector<int>{8, 0}));
    EXPECT_EQ(backupIds(store, "1001"),
              (std::set<std::int64_t>{of1001[1], of1001[12], of1001[13]}));
    EXPECT_EQ(backupIds(store, "1002"), (std::set<std::int64_t>{runningBackup, newest1002}));
    EXPECT_EQ(backupIds(store, "1003"), std::set<std::int64_t>{only1003});
    for (const auto id : {of1001[1], of1001[12], of1001[13], runningBackup, newest1002, only1003})
        EXPECT_EQ(store.journal(id).size(), 30u) << id;
    for (std::size_t i = 4; i < 12; ++i) EXPECT_TRUE(store.journal(of1001[i]).empty()) << i;

    // Ended jobs past their days, looked at two at a time in the order they
    // were queued, up to the first one queued since; the rest stay, and so
    // does the audit, with who queued each change.
    EXPECT_EQ(pass([&](const std::string& cursor) { return store.pruneJobs(90, cursor, 2); }),
              (std::vector<int>{1, 2, 1}));
    std::set<std::int64_t> jobs;
    for (const auto& j : store.jobs(std::nullopt, std::nullopt)) jobs.insert(j.id);
    EXPECT_EQ(jobs, (std::set<std::int64_t>{recent, queued, running}));
    const auto audit = store.audit(std::string("1003"));
    ASSERT_EQ(audit.size(), 1u);
    EXPECT_EQ(audit[0].jobId, done1);
    EXPECT_EQ(audit[0].by, "dispatch-anna");
}

}  // namespace kv6::fleet::test
