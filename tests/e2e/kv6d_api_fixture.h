#pragma once

// kv6d with its operator API on a free loopback port, over a store in a
// temporary folder; keys made with `kv6ctl fleet key add` as an operator
// would; requests sent with Qt's HTTP client over real sockets.

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "kv6d_guard_fixture.h"

namespace kv6::e2e {

struct ApiAnswer {
    int status = 0;  // 0: no HTTP answer
    QByteArray body;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QList<QNetworkReply::RawHeaderPair> headers;
    [[nodiscard]] QByteArray header(const QByteArray& name) const {
        for (const auto& [key, value] : headers)
            if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
        return {};
    }
};

class Kv6dApi : public Kv6dGuard {
protected:
    void startApiServer(const QStringList& extra = {}) {
        startServer(extra);
        const QRegularExpression api(QStringLiteral("operator API on (https?://[^\\s]+)"));
        ASSERT_TRUE(serverSaid(QStringLiteral("operator API on"))) << serverLog.toStdString();
        apiUrl = api.match(QString::fromUtf8(serverLog)).captured(1);
        ASSERT_FALSE(apiUrl.isEmpty()) << serverLog.toStdString();
    }
    // A new key of the role, made on the store as the bootstrap does.
    QByteArray addKey(const QString& name, const QString& role) {
        const CtlResult added = fleet({"key", "add", name, "--role", role});
        EXPECT_EQ(added.exitCode, 0) << added.err.toStdString();
        return added.out.trimmed().toUtf8();
    }
    ApiAnswer call(const QByteArray& method, const QString& path, const QByteArray& key = {},
                   const QByteArray& body = {}, const QByteArray& contentType = "application/json") {
        QNetworkRequest request(QUrl(apiUrl + path));
        if (!key.isEmpty()) request.setRawHeader("Authorization", "Bearer " + key);
        if (!contentType.isEmpty()) request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
        QNetworkReply* reply = network.sendCustomRequest(request, method, body);
        QObject::connect(reply, &QNetworkReply::sslErrors, reply, [reply] { reply->ignoreSslErrors(); });
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        ApiAnswer answer;
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.body = reply->readAll();
        answer.error = reply->error();
        answer.headers = reply->rawHeaderPairs();
        reply->abort();
        reply->deleteLater();
        return answer;
    }
    [[nodiscard]] std::size_t jobCount() {
        fleet::SqlFleetStore store(db());
        std::string error;
        EXPECT_TRUE(store.open(error)) << error;
        return store.jobs(std::nullopt, std::nullopt).size();
    }

    QNetworkAccessManager network;
    QString apiUrl;
};

}  // namespace kv6::e2e
