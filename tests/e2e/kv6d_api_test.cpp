#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "kv6d_api_fixture.h"

namespace kv6::e2e {

namespace {

QJsonObject object(const ApiAnswer& answer) { return QJsonDocument::fromJson(answer.body).object(); }

constexpr const char* kApnWrite =
    R"({"object": "1001", "kind": "write", "password": 0,
        "settings": {"format": "kv6-settings", "version": 1, "object": {"apn": "fleet.apn"}}})";

}  // namespace

TEST_F(Kv6dApi, EveryRoleAgainstEveryKindOfRequest) {
    startApiServer();
    const QByteArray viewer = addKey("watch", "viewer");
    const QByteArray operatorKey = addKey("desk", "operator");
    const QByteArray admin = addKey("root", "admin");
    ASSERT_TRUE(viewer.startsWith("kv6_"));
    ASSERT_NE(viewer, operatorKey);
    // Jobs to cancel: one per caller that may.
    const std::int64_t first = queue({"read", "--object", "3003"});
    const std::int64_t second = queue({"read", "--object", "3003"});
    std::vector<std::int64_t> cancellable = {first, second};

    struct Kind {
        QByteArray method;
        QString path;
        QByteArray body;
        int viewer;    // the status each role gets
        int operator_;
        int admin;
    };
    const QByteArray read = R"({"object": "1001", "kind": "read"})";
    const QByteArray reset = R"({"object": "1001", "kind": "reset", "force": true, "password": 0})";
    const QByteArray password = R"({"object": "1001", "kind": "password", "newPassword": 7, "password": 0})";
    const QByteArray clear = R"({"object": "1001", "kind": "clear-journal", "password": 0})";
    const std::vector<Kind> kinds = {
        {"GET", "/api/v1/modules", {}, 200, 200, 200},
        {"GET", "/api/v1/jobs?state=queued", {}, 200, 200, 200},
        {"GET", "/api/v1/audit", {}, 200, 200, 200},
        {"GET", "/api/v1/backups?object=1001", {}, 200, 200, 200},
        {"GET", "/metrics", {}, 200, 200, 200},
        {"POST", "/api/v1/jobs", read, 403, 201, 201},
        {"POST", "/api/v1/jobs", kApnWrite, 403, 201, 201},
        {"POST", "/api/v1/jobs", password, 403, 403, 201},
        {"POST", "/api/v1/jobs", clear, 403, 403, 201},
        {"POST", "/api/v1/jobs", reset, 403, 403, 201},
        {"DELETE", "/api/v1/jobs/", {}, 403, 200, 200},
        {"GET", "/api/v1/keys", {}, 403, 403, 200},
    };
    for (const Kind& kind : kinds) {
        const auto path = [&](const QByteArray& key) {
            // Each caller that may cancel takes a job of its own.
            if (kind.method != "DELETE") return kind.path;
            const bool may = key == operatorKey || key == admin;
            return kind.path + QString::number(may ? cancellable.back() : first);
        };
        const auto send = [&](const QByteArray& key) {
            const std::size_t before = jobCount();
            const ApiAnswer answer = call(kind.method, path(key), key, kind.body);
            if (kind.method == "DELETE" && answer.status == 200) cancellable.pop_back();
            // A refused request changes nothing.
            if (answer.status >= 400) {
                EXPECT_EQ(jobCount(), before) << kind.method.toStdString();
            }
            return answer.status;
        };
        const std::string what = (kind.method + " " + kind.path.toUtf8() + " " + kind.body.left(60)).toStdString();
        if (kind.path != "/metrics") {  // open on loopback
            EXPECT_EQ(send({}), 401) << what;
            EXPECT_EQ(send("kv6_not-a-key"), 401) << what;
        }
        EXPECT_EQ(send(viewer), kind.viewer) << what;
        EXPECT_EQ(send(operatorKey), kind.operator_) << what;
        EXPECT_EQ(send(admin), kind.admin) << what;
    }
    // Each refusal is logged with the key's name and the address.
    EXPECT_TRUE(serverSaid("kv6d: api: refused POST /api/v1/jobs from 127.0.0.1: key 'desk' (operator) may not "
                           "queue reset jobs\n"));
    EXPECT_TRUE(serverSaid("kv6d: api: refused GET /api/v1/keys from 127.0.0.1: key 'watch' (viewer) may not "
                           "manage keys\n"));
    EXPECT_TRUE(serverSaid("kv6d: api: refused GET /api/v1/modules from 127.0.0.1: no key\n"));
    // Who did what: the key that queued, the one that cancelled.
    const CtlResult jobs = fleet({"jobs", "--json"});
    const QJsonArray list = QJsonDocument::fromJson(jobs.out.toUtf8()).array();
    int byDesk = 0;
    for (const auto& job : list) byDesk += job.toObject().value("by") == QStringLiteral("desk") ? 1 : 0;
    EXPECT_EQ(byDesk, 2) << jobs.out.toStdString();  // desk's read and write
    const QJsonObject cancelled = object(call("GET", "/api/v1/jobs/" + QString::number(second), viewer));
    EXPECT_EQ(cancelled.value("state"), QStringLiteral("cancelled"));
    EXPECT_EQ(cancelled.value("cancelledBy"), QStringLiteral("desk"));
}

TEST_F(Kv6dApi, AWriteQueuedThroughTheApiReachesTheModuleAndEndsVerifiedWithItsKeyInTheAudit) {
    startApiServer();
    const QByteArray desk = addKey("desk", "operator");
    const ApiAnswer queued = call("POST", "/api/v1/jobs", desk, kApnWrite);
    ASSERT_EQ(queued.status, 201) << queued.body.toStdString();
    const std::int64_t id = object(queued).value("id").toInteger();
    ASSERT_GT(id, 0);
    startModule({"--object", "1001"});
    const fleet::JobRecord job = waitForJob(id, ended);
    EXPECT_EQ(job.state, fleet::JobState::Done) << job.result;
    EXPECT_EQ(job.by, "desk");

    const ApiAnswer audit = call("GET", "/api/v1/audit?object=1001&by=desk", desk);
    ASSERT_EQ(audit.status, 200);
    const QJsonArray items = object(audit).value("items").toArray();
    ASSERT_EQ(items.size(), 1) << audit.body.toStdString();
    EXPECT_EQ(items[0].toObject().value("by"), QStringLiteral("desk"));
    EXPECT_EQ(items[0].toObject().value("outcome"), QStringLiteral("verified"));
    EXPECT_EQ(items[0].toObject().value("difference"), QStringLiteral("object.apn: internet -> fleet.apn\n"));
    EXPECT_TRUE(fleet({"audit", "--object", "1001"}).out.contains(QStringLiteral("  verified  by desk\n")));
    EXPECT_TRUE(object(call("GET", "/api/v1/audit?by=someone", desk)).value("items").toArray().isEmpty());

    // The backups of the job, as a .prg and as settings.
    const QJsonArray backups = object(call("GET", "/api/v1/backups?object=1001", desk)).value("items").toArray();
    ASSERT_FALSE(backups.isEmpty());
    const QString last = QString::number(backups.last().toObject().value("id").toInteger());
    const ApiAnswer prg = call("GET", "/api/v1/backups/" + last, desk);
    EXPECT_EQ(prg.body.size(), 4096);
    const QJsonObject settings = object(call("GET", "/api/v1/backups/" + last + "/settings", desk));
    EXPECT_EQ(settings.value("object").toObject().value("apn"), QStringLiteral("fleet.apn"));
    const QString before = QString::number(backups.first().toObject().value("id").toInteger());
    const ApiAnswer diff = call("GET", "/api/v1/diff?from=" + before + "&to=" + last, desk);
    EXPECT_TRUE(diff.body.contains("\"key\": \"object.apn\"")) << diff.body.toStdString();
    const ApiAnswer module = call("GET", "/api/v1/modules/1001", desk);
    EXPECT_EQ(object(module).value("password"), QStringLiteral("recorded"));
    EXPECT_EQ(object(module).value("lastJob").toObject().value("state"), QStringLiteral("done"));

    // The job's time and the store's statements are in the metrics.
    const QByteArray metrics = call("GET", "/metrics").body;
    EXPECT_TRUE(metrics.contains("\nkv6_job_duration_seconds_count{kind=\"write\"} 1\n")) << metrics.toStdString();
    EXPECT_TRUE(metrics.contains("\nkv6_jobs{state=\"done\"} 1\n"));
    EXPECT_TRUE(metrics.contains("\nkv6_write_jobs{outcome=\"verified\"} 1\n"));
    EXPECT_TRUE(metrics.contains("\n# TYPE kv6_store_statement_seconds histogram\nkv6_store_statement_seconds_bucket{le=\"0.005\"} "));
}

TEST_F(Kv6dApi, BadRequestsAreRefusedWithTheirStatusAndNothingIsQueued) {
    startApiServer();
    const QByteArray root = addKey("root", "admin");
    const auto refused = [&](const ApiAnswer& answer, int status, const QString& error) {
        EXPECT_EQ(answer.status, status) << answer.body.toStdString();
        EXPECT_EQ(object(answer).value("error").toString(), error) << answer.body.toStdString();
    };
    refused(call("POST", "/api/v1/jobs", root, R"({"object": "1001", "kind": )"), 400, "the body is not JSON");
    refused(call("POST", "/api/v1/jobs", root, R"({"object": "1001", "kind": "read", "priority": 1})"), 400,
            "unknown key 'priority'");
    refused(call("POST", "/api/v1/jobs", root, R"({"object": 1001, "kind": "read"})"), 400,
            "object: one to four letters or digits are needed");
    refused(call("POST", "/api/v1/jobs", root, R"({"object": "1001", "kind": "read"})", "text/plain"), 415,
            "Content-Type: application/json is needed, not 'text/plain'");
    const QByteArray big = R"({"object": "1001", "kind": "read", "pad": ")" + QByteArray(80 * 1024, 'x') + "\"}";
    refused(call("POST", "/api/v1/jobs", root, big), 413, "the body is over 64 KiB");
    refused(call("POST", "/api/v1/jobs", "kv6_unknown", R"({"object": "1001", "kind": "read"})"), 401,
            "Authorization: the key is not known, or revoked");
    // Far beyond the limit: cut off before Qt's server keeps it all.
    const ApiAnswer huge = call("POST", "/api/v1/jobs", root, QByteArray(8 * 1024 * 1024, '{'));
    EXPECT_TRUE(huge.status == 413 || huge.error != QNetworkReply::NoError) << huge.status;
    // A body announced far beyond the limit is answered and cut off after
    // the first megabyte; the server does not wait for (and keep) the rest.
    QTcpSocket raw;
    raw.connectToHost(QHostAddress::LocalHost, QUrl(apiUrl).port());
    ASSERT_TRUE(raw.waitForConnected(5000));
    raw.write("POST /api/v1/jobs HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + root +
              "\r\nContent-Type: application/json\r\nContent-Length: 104857600\r\n\r\n");
    QByteArray answer;
    QElapsedTimer clock;
    clock.start();
    for (int sent = 0; sent < 4 * 1024 * 1024 && raw.state() == QAbstractSocket::ConnectedState &&
                       !answer.contains("\r\n\r\n") && clock.elapsed() < 20000;
         sent += 64 * 1024) {
        raw.write(QByteArray(64 * 1024, ' '));
        raw.waitForBytesWritten(1000);
        raw.waitForReadyRead(10);
        answer += raw.readAll();
    }
    while (!answer.contains("}\n") && raw.waitForReadyRead(3000)) answer += raw.readAll();
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 413 ")) << answer.left(200).toStdString();
    EXPECT_TRUE(answer.endsWith("{\"error\": \"the request is over its size limit\"}\n")) << answer.toStdString();
    EXPECT_EQ(call("GET", "/healthz").body, "up\nconnections 0\n");  // and the server goes on
    EXPECT_EQ(jobCount(), 0u);
    EXPECT_EQ(call("GET", "/api/v1/nothing", root).status, 404);
    EXPECT_EQ(call("GET", "/api/v1/jobs?limit=5000", root).status, 400);
}

TEST_F(Kv6dApi, HealthAndMetricsNeedNoKeyOnLoopback) {
    startApiServer();
    const ApiAnswer health = call("GET", "/healthz");
    EXPECT_EQ(health.status, 200);
    EXPECT_EQ(health.body, "up\nconnections 0\n");
    startModule({"--object", "1001"});
    ApiAnswer metrics;
    QElapsedTimer clock;
    clock.start();
    while (!(metrics = call("GET", "/metrics")).body.contains("\nkv6_connected_modules 1\n") && clock.elapsed() < 15000)
        QThread::msleep(100);
    EXPECT_EQ(metrics.status, 200);
    EXPECT_TRUE(metrics.body.contains("\nkv6_connected_modules 1\n")) << metrics.body.toStdString();
    EXPECT_TRUE(metrics.body.contains("\nkv6_store_up 1\n"));
    EXPECT_TRUE(metrics.body.contains("kv6_jobs{state=\"queued\"} 0\n"));
    EXPECT_TRUE(metrics.body.contains("\nkv6_open_fds "));
}

TEST(Kv6dApiArguments, TheApiStaysOnLoopbackUnlessTlsOrPlainHttpIsGivenOnPurpose) {
    e2eApp();
    const std::vector<std::pair<QStringList, QString>> cases = {
        {{"--api-listen", "0.0.0.0:8098"},
         "kv6d: --api-listen 0.0.0.0:8098 is not loopback: give --tls-cert and --tls-key, or --api-plain-http on "
         "purpose\n"},
        {{"--api-listen", "localhost"},
         "kv6d: --api-listen needs ADDRESS:PORT (127.0.0.1:8098, [::1]:8098, 0.0.0.0:8098), not "
         "'localhost'\n"},
        {{"--api-listen", "::1:8098"},
         "kv6d: --api-listen needs ADDRESS:PORT (127.0.0.1:8098, [::1]:8098, 0.0.0.0:8098), not "
         "'::1:8098'\n"},
        {{"--tls-cert", "cert.pem"}, "kv6d: --tls-cert and --tls-key go together\n"},
    };
    for (const auto& [arguments, line] : cases) {
        QProcess server;
        server.setProcessEnvironment(withoutLeakChecks());
        server.start(QStringLiteral(KV6D_PATH), arguments);
        ASSERT_TRUE(server.waitForFinished(10000));
        EXPECT_EQ(server.exitCode(), 2) << arguments.join(' ').toStdString();
        const QString err = QString::fromUtf8(server.readAllStandardError());
        EXPECT_TRUE(err.startsWith(line + "Usage: kv6d ")) << err.toStdString();
    }
}

TEST_F(Kv6dApi, BeyondLoopbackOnPurposeTheMetricsNeedAKey) {
    startApiServer({"--api-listen", "0.0.0.0:0", "--api-plain-http"});
    apiUrl.replace("0.0.0.0", "127.0.0.1");
    EXPECT_EQ(call("GET", "/metrics").status, 401);
    EXPECT_EQ(call("GET", "/metrics", addKey("watch", "viewer")).status, 200);
    // The balancer's check needs none, and tells no more than up or down and the connections.
    const ApiAnswer health = call("GET", "/healthz");
    EXPECT_EQ(health.status, 200);
    EXPECT_EQ(health.body, "up\nconnections 0\n");
    EXPECT_EQ(health.header("Content-Type"), "text/plain");
}

TEST_F(Kv6dApi, KeysAreAddedListedAndRevokedOnTheStore) {
    startApiServer();
    const QByteArray key = addKey("desk", "operator");
    EXPECT_EQ(key.size(), 4 + 43);  // "kv6_" and 32 random bytes in base64url
    const CtlResult twice = fleet({"key", "add", "desk", "--role", "viewer"});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_EQ(twice.err, QStringLiteral("kv6ctl fleet: the key could not be added: a key named desk exists: revoke it "
                                        "first\n"));
    EXPECT_EQ(fleet({"key", "add", "x", "--role", "boss"}).exitCode, 2);
    const CtlResult list = fleet({"key", "list"});
    EXPECT_TRUE(list.out.startsWith(QStringLiteral("NAME  ROLE"))) << list.out.toStdString();
    EXPECT_FALSE(list.out.contains(QString::fromUtf8(key)));
    EXPECT_EQ(call("GET", "/api/v1/jobs", key).status, 200);
    EXPECT_EQ(fleet({"key", "revoke", "desk"}).exitCode, 0);
    EXPECT_EQ(call("GET", "/api/v1/jobs", key).status, 401);
    EXPECT_EQ(fleet({"key", "revoke", "desk"}).exitCode, 1);
    // The name is free again for a new key.
    EXPECT_EQ(call("GET", "/api/v1/jobs", addKey("desk", "viewer")).status, 200);
}

}  // namespace kv6::e2e

namespace kv6::e2e {

TEST_F(Kv6dApi, FleetCommandsThroughTheServerPrintWhatTheyPrintOnTheStore) {
    startApiServer();
    const QByteArray desk = addKey("desk", "operator");
    writeText("desk.key", desk + "\n");
    writeText("apn.json", R"({"format": "kv6-settings", "version": 1, "object": {"apn": "fleet.apn"}})");
    const auto remote = [&](const QStringList& args) {
        return runCtl(QStringList{"fleet"} + args + QStringList{"--server", apiUrl, "--key-file", dir.filePath("desk.key")});
    };
    // Queued through the API: by the key, not the local user.
    const CtlResult queued = remote({"queue", "write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"});
    ASSERT_EQ(queued.exitCode, 0) << queued.err.toStdString();
    const std::int64_t id = queued.out.trimmed().toLongLong();
    startModule({"--object", "1001"});
    EXPECT_EQ(waitForJob(id, ended).state, fleet::JobState::Done);
    const std::int64_t spare = queue({"read", "--object", "2002"});

    for (const QStringList& command :
         {QStringList{"jobs"}, QStringList{"jobs", "--json"}, QStringList{"jobs", "--object", "1001", "--state", "done"},
          QStringList{"modules", "--json"}, QStringList{"modules", "--connected"}, QStringList{"audit"},
          QStringList{"audit", "--json", "--object", "1001"}, QStringList{"backups", "--object", "1001"}}) {
        const CtlResult local = fleet(command);
        const CtlResult api = remote(command);
        EXPECT_EQ(api.exitCode, local.exitCode) << command.join(' ').toStdString();
        EXPECT_EQ(api.out, local.out) << command.join(' ').toStdString();
    }
    EXPECT_TRUE(fleet({"audit"}).out.contains(QStringLiteral("  verified  by desk\n")));
    EXPECT_EQ(remote({"backup", "1", "--out", dir.filePath("one.prg")}).exitCode, 0);
    EXPECT_EQ(QFileInfo(dir.filePath("one.prg")).size(), 4096);

    // A refusal reads as on the store, with the same exit code.
    const CtlResult done = remote({"cancel", QString::number(id)});
    EXPECT_EQ(done.exitCode, 1);
    EXPECT_EQ(done.err, QStringLiteral("kv6ctl fleet: job %1 is done, not queued\n").arg(id));
    EXPECT_EQ(remote({"cancel", QString::number(spare)}).exitCode, 0);
    const CtlResult viewer = runCtl({"fleet", "queue", "read", "--object", "1001", "--server", apiUrl},
                                    120000);
    EXPECT_EQ(viewer.exitCode, 2);  // no key at all
    EXPECT_EQ(remote({"lockouts"}).exitCode, 0);  // an operator reads them; an admin clears them

    // Keys through the server: an admin's work. The new key is made on this
    // side and shown once; the server gets only its SHA-256, and takes it.
    EXPECT_EQ(remote({"key", "add", "wall", "--role", "viewer"}).exitCode, 1);  // an operator's key
    const QByteArray boss = addKey("boss", "admin");
    writeText("boss.key", boss + "\n");
    const ApiAnswer badHash = call("POST", "/api/v1/keys", boss, R"({"name": "wall", "role": "viewer", "sha256": "AB"})");
    EXPECT_EQ(badHash.status, 400);
    EXPECT_EQ(badHash.body, "{\n  \"error\": \"sha256: 64 lowercase hexadecimal digits are needed\"\n}\n");
    const auto admin = [&](const QStringList& args) {
        return runCtl(QStringList{"fleet"} + args + QStringList{"--server", apiUrl, "--key-file", dir.filePath("boss.key")});
    };
    const CtlResult added = admin({"key", "add", "wall", "--role", "viewer"});
    ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
    EXPECT_EQ(added.err, "kv6ctl fleet: key 'wall' (viewer) added; it is shown this once\n");
    const QByteArray wall = added.out.trimmed().toUtf8();
    EXPECT_EQ(call("GET", "/api/v1/modules", wall).status, 200);
    EXPECT_EQ(admin({"key", "list"}).out, fleet({"key", "list"}).out);
    EXPECT_EQ(admin({"key", "revoke", "wall"}).exitCode, 0);
    EXPECT_EQ(call("GET", "/api/v1/modules", wall).status, 401);
    const CtlResult again = admin({"key", "revoke", "wall"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.err, "kv6ctl fleet: no good key named wall\n");
}

}  // namespace kv6::e2e

namespace kv6::e2e {

TEST_F(Kv6dApi, WithACertificateTheApiSpeaksHttpsOnly) {
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-keyout",
                   dir.filePath("key.pem"), "-out", dir.filePath("cert.pem")});
    ASSERT_TRUE(openssl.waitForFinished(60000) && openssl.exitCode() == 0) << "openssl is needed to make a certificate";
    startApiServer({"--tls-cert", dir.filePath("cert.pem"), "--tls-key", dir.filePath("key.pem")});
    ASSERT_TRUE(apiUrl.startsWith(QStringLiteral("https://127.0.0.1:"))) << apiUrl.toStdString();
    const QByteArray root = addKey("root", "admin");
    const ApiAnswer health = call("GET", "/healthz");
    EXPECT_EQ(health.status, 200);
    EXPECT_EQ(health.body, "up\nconnections 0\n");
    EXPECT_EQ(call("GET", "/api/v1/keys", root).status, 200);
    // The same port in clear text gets no answer.
    apiUrl.replace(QStringLiteral("https://"), QStringLiteral("http://"));
    EXPECT_EQ(call("GET", "/healthz").status, 0);
}

}  // namespace kv6::e2e
