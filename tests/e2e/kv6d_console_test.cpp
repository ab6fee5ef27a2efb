#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "kv6d_api_fixture.h"

namespace kv6::e2e {

namespace {

QJsonObject object(const ApiAnswer& answer) { return QJsonDocument::fromJson(answer.body).object(); }

constexpr const char* kPolicy =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; "
    "frame-ancestors 'none'; base-uri 'none'; form-action 'none'";

void expectGuarded(const ApiAnswer& answer, const std::string& what) {
    EXPECT_EQ(answer.header("Content-Security-Policy"), kPolicy) << what;
    EXPECT_EQ(answer.header("X-Frame-Options"), "DENY") << what;
    EXPECT_EQ(answer.header("X-Content-Type-Options"), "nosniff") << what;
    EXPECT_EQ(answer.header("Referrer-Policy"), "no-referrer") << what;
    for (const auto& [name, value] : answer.headers)
        EXPECT_FALSE(name.toLower().startsWith("access-control-")) << what << ": " << name.toStdString();
}

}  // namespace

class Kv6dConsole : public Kv6dApi {
protected:
    // The whole answer to a GET of `path` exactly as written.
    QByteArray rawGet(const QByteArray& path) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, QUrl(apiUrl).port());
        if (!socket.waitForConnected(5000)) return {};
        socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        QByteArray answer;
        while (socket.waitForReadyRead(5000)) {
            answer += socket.readAll();
            // Whole once the body has its announced length (the server may keep the connection).
            const qsizetype end = answer.indexOf("\r\n\r\n");
            const QRegularExpressionMatch length =
                QRegularExpression(QStringLiteral("\r\nContent-Length: (\\d+)\r\n"), QRegularExpression::CaseInsensitiveOption)
                    .match(QString::fromLatin1(answer.left(end + 2)));
            if (end >= 0 && length.hasMatch() && answer.size() - end - 4 >= length.captured(1).toLongLong()) break;
        }
        return answer;
    }
};

TEST_F(Kv6dConsole, TheConsoleIsServedWithoutAKeyUnderItsSecurityHeadersAndNothingElseIsReachable) {
    startApiServer();
    const ApiAnswer page = call("GET", "/", {}, {}, {});
    ASSERT_EQ(page.status, 200);
    EXPECT_EQ(page.header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_TRUE(page.body.contains("<script type=\"module\" src=\"/console/app.js\"></script>")) << page.body.toStdString();
    // No inline script or style the policy would block.
    EXPECT_FALSE(page.body.contains("<script>"));
    EXPECT_FALSE(page.body.contains("style="));
    expectGuarded(page, "/");
    const ApiAnswer script = call("GET", "/console/app.js", {}, {}, {});
    EXPECT_EQ(script.status, 200);
    EXPECT_EQ(script.header("Content-Type"), "text/javascript; charset=utf-8");
    expectGuarded(script, "app.js");
    const ApiAnswer view = call("GET", "/console/views/module.js", {}, {}, {});
    EXPECT_EQ(view.status, 200);
    EXPECT_EQ(call("GET", "/console/style.css", {}, {}, {}).header("Content-Type"), "text/css; charset=utf-8");
    // The API's answers carry the same headers.
    expectGuarded(call("GET", "/api/v1/modules"), "401 of the API");

    // Only the console's own files, by their plain names; sent as written,
    // since an HTTP client would resolve the dots itself.
    for (const char* path : {"/console/../main.cpp", "/console/%2e%2e/index.html", "/console/.%2e/console/app.js",
                             "/console/nothing.js", "/console/app.js.map", "/console/", "/console/.hidden.js",
                             "/console//app.js", "/console/APP.JS", "/console/app.js%00.png"}) {
        const QByteArray answer = rawGet(path);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 404 ")) << path << ": " << answer.left(200).toStdString();
        EXPECT_FALSE(answer.contains("import ")) << path;
    }
    EXPECT_EQ(call("POST", "/", {}, "x", "text/plain").status, 405);
    EXPECT_EQ(call("DELETE", "/console/app.js").status, 405);
}

TEST_F(Kv6dApi, WhoamiNamesTheKeyAndItsRoleAndRefusesAnUnknownKey) {
    startApiServer();
    const QByteArray viewer = addKey("night-desk", "viewer");
    const QByteArray admin = addKey("chief", "admin");
    const QJsonObject first = object(call("GET", "/api/v1/whoami", viewer));
    EXPECT_EQ(first.value("name"), QStringLiteral("night-desk"));
    EXPECT_EQ(first.value("role"), QStringLiteral("viewer"));
    EXPECT_EQ(object(call("GET", "/api/v1/whoami", admin)).value("role"), QStringLiteral("admin"));
    EXPECT_EQ(call("GET", "/api/v1/whoami", "kv6_wrong").status, 401);
    EXPECT_EQ(call("GET", "/api/v1/whoami").status, 401);
    EXPECT_EQ(call("POST", "/api/v1/whoami", admin, "{}").status, 405);
    ASSERT_EQ(fleet({"key", "revoke", "night-desk"}).exitCode, 0);
    EXPECT_EQ(call("GET", "/api/v1/whoami", viewer).status, 401);
}

TEST_F(Kv6dApi, ModulesListEachWithItsLastJobAndBackupAndADocumentIsComparedWithABackup) {
    startApiServer();
    const QByteArray viewer = addKey("watch", "viewer");
    const QByteArray desk = addKey("desk", "operator");
    const std::int64_t read = queue({"read", "--object", "1001"});
    startModule({"--object", "1001"});
    EXPECT_EQ(waitForJob(read, ended).state, fleet::JobState::Done);

    const QJsonArray modules = object(call("GET", "/api/v1/modules", viewer)).value("items").toArray();
    ASSERT_EQ(modules.size(), 1);
    const QJsonObject module = modules[0].toObject();
    EXPECT_EQ(module.value("object"), QStringLiteral("1001"));
    EXPECT_EQ(module.value("lastJob").toObject().value("id").toInteger(), read);
    EXPECT_EQ(module.value("lastJob").toObject().value("state"), QStringLiteral("done"));
    const std::int64_t backup = module.value("lastBackup").toObject().value("id").toInteger();
    EXPECT_GT(backup, 0);

    // What a write would change, asked by a viewer: nothing is queued.
    const std::size_t jobsBefore = jobCount();
    const QByteArray document = R"("settings": {"format": "kv6-settings", "version": 1, "object": {"apn": "fleet.apn"}})";
    const ApiAnswer byObject = call("POST", "/api/v1/diff", viewer, R"({"object": "1001", )" + document + "}");
    ASSERT_EQ(byObject.status, 200) << byObject.body.toStdString();
    EXPECT_EQ(object(byObject).value("backup").toInteger(), backup);
    const QJsonArray items = object(byObject).value("items").toArray();
    ASSERT_EQ(items.size(), 1) << byObject.body.toStdString();
    EXPECT_EQ(items[0].toObject().value("key"), QStringLiteral("object.apn"));
    EXPECT_EQ(items[0].toObject().value("a"), QStringLiteral("internet"));
    EXPECT_EQ(items[0].toObject().value("b"), QStringLiteral("fleet.apn"));
    const ApiAnswer byBackup =
        call("POST", "/api/v1/diff", viewer, "{\"backup\": " + QByteArray::number(backup) + ", " + document + "}");
    EXPECT_EQ(object(byBackup).value("items"), items);
    // The backup's own bytes as a .prg: nothing differs.
    const QByteArray prg = call("GET", "/api/v1/backups/" + QString::number(backup), viewer).body.toBase64();
    const ApiAnswer same = call("POST", "/api/v1/diff", viewer,
                                "{\"backup\": " + QByteArray::number(backup) + ", \"prg\": \"" + prg + "\"}");
    EXPECT_EQ(same.status, 200) << same.body.toStdString();
    EXPECT_TRUE(object(same).value("items").toArray().isEmpty()) << same.body.toStdString();
    EXPECT_EQ(jobCount(), jobsBefore);

    const auto refused = [&](const QByteArray& body, int status, const QString& error) {
        const ApiAnswer answer = call("POST", "/api/v1/diff", desk, body);
        EXPECT_EQ(answer.status, status) << body.toStdString() << answer.body.toStdString();
        EXPECT_EQ(object(answer).value("error").toString(), error) << body.toStdString();
    };
    refused(R"({"object": "2002", )" + document + "}", 404, "object: no backup of 2002 yet");
    refused(R"({"backup": 999, )" + document + "}", 404, "backup: no backup 999");
    refused(R"({)" + document + "}", 400, R"(backup: either "backup" (a backup's number) or "object" is needed)");
    refused(R"({"object": "1001"})", 400,
            R"(settings: either "settings" (a kv6-settings document) or "prg" (base64) is needed)");
    refused(R"({"object": "1001", "prg": "AAAA"})", 400, "prg: the bytes of a .prg (4096) in base64 are needed");
    refused(R"({"object": "1001", "settings": {"format": "kv6-settings", "version": 1, "object": {"nothing": 1}}})", 400,
            "settings.object.nothing: unknown key");
    refused(R"({"object": "1001", "settings": [1]})", 400, "settings: a kv6-settings document (a JSON object) is needed");
    refused(R"({"object": "1001", "extra": 1})", 400, "unknown key 'extra'");
    refused("[", 400, "the body is no JSON object");
    EXPECT_EQ(call("PUT", "/api/v1/diff", desk, "{}").status, 405);
}

TEST_F(Kv6dApi, ListsGoNewestFirstPageByPageWithoutAGapWhileJobsAreAdded) {
    startApiServer();
    const QByteArray viewer = addKey("watch", "viewer");
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 3; ++i) ids.push_back(queue({"read", "--object", "4004"}));
    const auto idsOf = [](const ApiAnswer& answer) {
        std::vector<std::int64_t> seen;
        for (const QJsonValue& item : object(answer).value("items").toArray())
            seen.push_back(item.toObject().value("id").toInteger());
        return seen;
    };
    const ApiAnswer first = call("GET", "/api/v1/jobs?order=newest&limit=2", viewer);
    ASSERT_EQ(first.status, 200) << first.body.toStdString();
    EXPECT_EQ(idsOf(first), (std::vector<std::int64_t>{ids[2], ids[1]}));
    const QString next = object(first).value("next").toString();
    ASSERT_FALSE(next.isEmpty());
    // A job added meanwhile is above the cursor: the next page goes on below it.
    const std::int64_t added = queue({"read", "--object", "4004"});
    const ApiAnswer second = call("GET", "/api/v1/jobs?order=newest&limit=2&cursor=" + next, viewer);
    EXPECT_EQ(idsOf(second), (std::vector<std::int64_t>{ids[0]}));
    EXPECT_TRUE(object(second).value("next").isNull());
    EXPECT_EQ(idsOf(call("GET", "/api/v1/jobs?order=newest&limit=1", viewer)), (std::vector<std::int64_t>{added}));
    EXPECT_EQ(idsOf(call("GET", "/api/v1/jobs?order=oldest&limit=1", viewer)), (std::vector<std::int64_t>{ids[0]}));
    const ApiAnswer bad = call("GET", "/api/v1/jobs?order=latest", viewer);
    EXPECT_EQ(bad.status, 400);
    EXPECT_EQ(object(bad).value("error").toString(), QStringLiteral("order: newest or oldest is needed, not 'latest'"));
}

}  // namespace kv6::e2e
