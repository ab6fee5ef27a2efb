// A lock-out made the way a module makes one, by password mismatches, then
// read and ended through kv6d's operator API, with kv6ctl fleet --server
// printing what kv6ctl fleet --db prints.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "kv6d_api_fixture.h"

namespace kv6::e2e {

TEST_F(Kv6dApi, LockOutsAreReadByAnyKeyClearedByAnAdminAndPrintedAsOnTheStore) {
    writeText("apn.json", R"({"format": "kv6-settings", "version": 1, "object": {"apn": "fleet.apn"}})");
    auto image = randomImage(31);
    image[244] = 0x04;  // read password 1234, the jobs say 0
    image[245] = 0xD2;
    writeFile(dir.filePath("foreign.prg"), image);
    startApiServer({"--lease", "3"});  // a heartbeat, and so a look at the lock-outs, every second
    const QByteArray watch = addKey("watch", "viewer");
    const QByteArray desk = addKey("desk", "operator");
    const QByteArray root = addKey("root", "admin");
    writeText("watch.key", watch + "\n");
    writeText("root.key", root + "\n");
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 3; ++i)
        ids.push_back(queue({"write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"}));
    startModule({"--object", "1001", "--image", dir.filePath("foreign.prg")});
    for (const auto id : ids) EXPECT_EQ(waitForJob(id, ended).state, fleet::JobState::Failed);
    ASSERT_TRUE(serverSaid("kv6d: locking out object 1001 until ")) << serverLog.toStdString();

    // Read: any key, none without one.
    EXPECT_EQ(call("GET", "/api/v1/lockouts").status, 401);
    EXPECT_EQ(call("GET", "/api/v1/lockouts", "kv6_not-a-key").status, 401);
    const ApiAnswer locked = call("GET", "/api/v1/lockouts?locked=true", watch);
    ASSERT_EQ(locked.status, 200) << locked.body.toStdString();
    const QJsonArray items = QJsonDocument::fromJson(locked.body).object().value("items").toArray();
    ASSERT_EQ(items.size(), 1) << locked.body.toStdString();  // the address is counted, not locked out
    EXPECT_EQ(items[0].toObject().value("subject").toString(), "1001");
    EXPECT_EQ(items[0].toObject().value("mismatches").toInt(), 3);

    const auto remote = [&](const char* keyFile, const QStringList& args) {
        return runCtl(QStringList{"fleet"} + args + QStringList{"--server", apiUrl, "--key-file", dir.filePath(keyFile)});
    };
    for (const QStringList& command : {QStringList{"lockouts"}, QStringList{"lockouts", "--json"}}) {
        const CtlResult local = fleet(command);
        const CtlResult api = remote("watch.key", command);
        EXPECT_EQ(api.exitCode, 0) << api.err.toStdString();
        EXPECT_EQ(api.exitCode, local.exitCode) << command.join(' ').toStdString();
        EXPECT_EQ(api.out, local.out) << command.join(' ').toStdString();
    }
    EXPECT_TRUE(fleet({"lockouts"}).out.startsWith("KIND     SUBJECT    MISMATCHES  LAST MISMATCH         LOCKED OUT UNTIL\n"
                                                  "object   1001       3           "));

    // Clear: an admin's alone; a refusal changes nothing and is logged.
    EXPECT_EQ(call("DELETE", "/api/v1/lockouts/1001").status, 401);
    EXPECT_EQ(call("DELETE", "/api/v1/lockouts/1001", watch).status, 403);
    EXPECT_EQ(call("DELETE", "/api/v1/lockouts", desk).status, 403);
    EXPECT_TRUE(serverSaid("kv6d: api: refused DELETE /api/v1/lockouts from 127.0.0.1: key 'desk' (operator) may not "
                           "clear lock-outs\n"));
    const CtlResult viewer = remote("watch.key", {"lockouts", "--clear", "1001"});
    EXPECT_EQ(viewer.exitCode, 1);
    EXPECT_EQ(viewer.err, "kv6ctl fleet: the lock-outs could not be cleared: key 'watch' (viewer) may not clear "
                          "lock-outs\n");
    EXPECT_EQ(call("GET", "/api/v1/lockouts?locked=true", watch).body, locked.body);

    const CtlResult cleared = remote("root.key", {"lockouts", "--clear", "1001"});
    EXPECT_EQ(cleared.exitCode, 0) << cleared.err.toStdString();
    EXPECT_EQ(cleared.out, "cleared 1\n");
    EXPECT_TRUE(serverSaid("kv6d: api: key 'root' cleared the lock-out and count of 1001 from 127.0.0.1\n"));
    // Nothing left to clear: the same words and status through the server as on the store.
    const CtlResult nothing = remote("root.key", {"lockouts", "--clear", "1001"});
    const CtlResult nothingLocal = fleet({"lockouts", "--clear", "1001"});
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_EQ(nothing.err, "kv6ctl fleet: no lock-out or mismatch count for 1001\n");
    EXPECT_EQ(nothing.exitCode, nothingLocal.exitCode);
    EXPECT_EQ(nothing.err, nothingLocal.err);

    // The server lets the object in again at its next heartbeat.
    QThread::msleep(1500);
    const auto proof = queue({"read", "--object", "1001"});
    startModule({"--object", "1001"});
    EXPECT_EQ(waitForJob(proof, ended).result, "read, backup kept");

    const CtlResult all = remote("root.key", {"lockouts", "--clear", "--all"});
    EXPECT_EQ(all.out, "cleared 1\n") << all.err.toStdString();  // the address's count
    EXPECT_TRUE(serverSaid("kv6d: api: key 'root' cleared every lock-out and count (1) from 127.0.0.1\n"));
    EXPECT_EQ(remote("watch.key", {"lockouts", "--json"}).out, "[]\n");
    EXPECT_EQ(fleet({"lockouts", "--json"}).out, "[]\n");
}

}  // namespace kv6::e2e
