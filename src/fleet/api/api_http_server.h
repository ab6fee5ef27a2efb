#pragma once

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QString>
#include <functional>
#include <memory>

#include "fleet/accept_loop.h"
#include "fleet/api/api_service.h"

class QTcpServer;

namespace kv6::fleet::api {

// The operator API over HTTP (or HTTPS): Qt HTTP Server parses each request
// on the server's own event loop; ApiService answers it. The web console's
// files come from the same listener, so the console reaches the API as its
// own origin.
//
// Qt's server reads a request's whole body before it hands it over, so each
// connection has a budget: beyond kMaxUnanswered bytes without a request
// answered it is answered 413 and closed, and a connection silent for
// kIdleMs is closed; at most kMaxConnections are open at once.
//
// It answers the load balancer's health check (/healthz), so it accepts as
// the module port does (AcceptLoop): out of descriptors it waits instead of
// giving up accepting, and a descriptor kept in reserve still lets a check in.
class ApiHttpServer final : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr qint64 kMaxUnanswered = 1024 * 1024;
    static constexpr int kIdleMs = 60000;
    static constexpr int kMaxConnections = 256;

    explicit ApiHttpServer(ApiService& service, QObject* parent = nullptr);
    ~ApiHttpServer() override;
    ApiHttpServer(const ApiHttpServer&) = delete;
    ApiHttpServer& operator=(const ApiHttpServer&) = delete;

    // HTTPS with this certificate and key (PEM files); false with `error`. Before listen().
    bool useTls(const QString& certificateFile, const QString& keyFile, QString& error);
    // False with `error` when the address cannot be taken.
    bool listenOn(const QHostAddress& address, quint16 port, QString& error);
    [[nodiscard]] quint16 port() const { return m_port; }
    [[nodiscard]] bool tls() const { return m_tls; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    // Sets the connection's budget before Qt's server reads from it.
    void guard(QTcpSocket* socket);
    void answered(QTcpSocket* socket);
    // The web console's files (see ConsoleFiles), with the same headers as the API.
    void serveConsole(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path);

    ApiService& m_service;
    QTcpServer* m_listener = nullptr;
    std::function<void(int descriptor)> m_take;  // hands an accepted descriptor to m_listener
    std::unique_ptr<AcceptLoop> m_accept;        // before m_listener goes (a child)
    bool m_tls = false;
    quint16 m_port = 0;
    int m_open = 0;
};

}  // namespace kv6::fleet::api
