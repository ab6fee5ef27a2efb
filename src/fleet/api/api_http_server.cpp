#include "fleet/api/api_http_server.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>
#include <QUrlQuery>
#include <unistd.h>

#include "fleet/api/console_files.h"

namespace kv6::fleet::api {

namespace {

constexpr const char* kUnanswered = "kv6ApiUnanswered";

// Hands each connection to the guard before Qt's server sees it.
class GuardedTcpServer final : public QTcpServer {
public:
    GuardedTcpServer(std::function<void(QTcpSocket*)> guard, QObject* parent)
        : QTcpServer(parent), m_guard(std::move(guard)) {}
    // A connection the accept loop took.
    void take(int descriptor) { incomingConnection(descriptor); }
    // Qt switches its own accepting on again here; the accept loop accepts.
    QTcpSocket* nextPendingConnection() override {
        QTcpSocket* socket = QTcpServer::nextPendingConnection();
        pauseAccepting();
        return socket;
    }

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            ::close(static_cast<int>(descriptor));
            return;
        }
        m_guard(socket);
        addPendingConnection(socket);
    }

private:
    std::function<void(QTcpSocket*)> m_guard;
};

// QSslServer starts each connection's handshake as it takes it.
class TakingSslServer final : public QSslServer {
public:
    using QSslServer::QSslServer;
    void take(int descriptor) { incomingConnection(descriptor); }
    QTcpSocket* nextPendingConnection() override {
        QTcpSocket* socket = QSslServer::nextPendingConnection();
        pauseAccepting();
        return socket;
    }
};

std::string methodName(QHttpServerRequest::Method method) {
    switch (method) {
    case QHttpServerRequest::Method::Get: return "GET";
    case QHttpServerRequest::Method::Put: return "PUT";
    case QHttpServerRequest::Method::Delete: return "DELETE";
    case QHttpServerRequest::Method::Post: return "POST";
    case QHttpServerRequest::Method::Head: return "HEAD";
    case QHttpServerRequest::Method::Options: return "OPTIONS";
    case QHttpServerRequest::Method::Patch: return "PATCH";
    default: return "OTHER";
    }
}

// Every answer, the console's files and the API's alike, says the console
// runs no inline script and loads nothing but its own files, is never framed
// by another site, and is never read as another type than it says.
void answer(QHttpServerResponder& responder, QHttpServerResponder::StatusCode status, const QByteArray& contentType,
            const QByteArray& body, const QList<std::pair<QByteArray, QByteArray>>& extra = {}) {
    responder.writeStatusLine(status);
    responder.writeHeaders(
        {{"Content-Security-Policy",
          "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; "
          "frame-ancestors 'none'; base-uri 'none'; form-action 'none'"},
         {"X-Frame-Options", "DENY"},
         {"X-Content-Type-Options", "nosniff"},
         {"Referrer-Policy", "no-referrer"},
         {"Cache-Control", "no-store"}});
    for (const auto& [name, value] : extra) responder.writeHeader(name, value);
    responder.writeHeader("Content-Type", contentType);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeBody(body);
}

std::string header(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value.toStdString();
    return {};
}

}  // namespace

ApiHttpServer::ApiHttpServer(ApiService& service, QObject* parent) : QAbstractHttpServer(parent), m_service(service) {}

ApiHttpServer::~ApiHttpServer() = default;

bool ApiHttpServer::useTls(const QString& certificateFile, const QString& keyFile, QString& error) {
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificateFile, QSsl::Pem);
    if (chain.isEmpty()) {
        error = QStringLiteral("no PEM certificate in %1").arg(certificateFile);
        return false;
    }
    QFile file(keyFile);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(keyFile, file.errorString());
        return false;
    }
    QSslKey key(&file, QSsl::Rsa, QSsl::Pem);
    if (key.isNull()) {
        file.seek(0);
        key = QSslKey(&file, QSsl::Ec, QSsl::Pem);
    }
    if (key.isNull()) {
        error = QStringLiteral("no PEM private key (RSA or EC) in %1").arg(keyFile);
        return false;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    auto* server = new TakingSslServer(this);
    server->setSslConfiguration(configuration);
    connect(server, &QSslServer::startedEncryptionHandshake, this, [this](QSslSocket* socket) { guard(socket); });
    m_listener = server;
    m_take = [server](int descriptor) { server->take(descriptor); };
    m_tls = true;
    return true;
}

bool ApiHttpServer::listenOn(const QHostAddress& address, quint16 port, QString& error) {
    if (!m_listener) {
        auto* server = new GuardedTcpServer([this](QTcpSocket* socket) { guard(socket); }, this);
        m_listener = server;
        m_take = [server](int descriptor) { server->take(descriptor); };
    }
    m_listener->setMaxPendingConnections(kMaxConnections);
    m_accept = std::make_unique<AcceptLoop>(true, *m_listener);
    m_accept->handOverDescriptors(true);
    connect(m_accept.get(), &AcceptLoop::acceptedDescriptor, this, [this](int descriptor) { m_take(descriptor); });
    if (!m_accept->listen(address, port, kMaxConnections)) {
        error = m_listener->errorString();
        m_accept.reset();
        return false;
    }
    m_port = m_listener->serverPort();
    bind(m_listener);
    return true;
}

void ApiHttpServer::guard(QTcpSocket* socket) {
    // Its descriptor is closed: accepting goes on if it had run out, and the reserve is taken back.
    connect(socket, &QObject::destroyed, m_accept.get(), &AcceptLoop::descriptorFreed);
    if (m_open >= kMaxConnections) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_open;
    connect(socket, &QObject::destroyed, this, [this] { --m_open; });
    socket->setProperty(kUnanswered, qint64{0});
    // Connected before Qt's server connects its own reader: each chunk is
    // counted before it is parsed into the request.
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
    idle->start(kIdleMs);
    connect(socket, &QTcpSocket::readyRead, socket, [socket, idle] {
        idle->start(kIdleMs);
        const qint64 seen = socket->property(kUnanswered).toLongLong() + socket->bytesAvailable();
        socket->setProperty(kUnanswered, seen);
        if (seen <= kMaxUnanswered) return;
        // Qt's server would keep every byte of it: say why once, then drop
        // whatever else comes until the connection is closed.
        if (socket->state() == QAbstractSocket::ConnectedState) {
            const QByteArray body = "{\"error\": \"the request is over its size limit\"}\n";
            socket->write("HTTP/1.1 413 Payload Too Large\r\nContent-Type: application/json\r\n"
                          "Connection: close\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
        }
        socket->readAll();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void ApiHttpServer::answered(QTcpSocket* socket) { socket->setProperty(kUnanswered, qint64{0}); }

bool ApiHttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    if (socket->property(kUnanswered).toLongLong() > kMaxUnanswered) return true;  // answered already
    answered(socket);
    const QString path = request.url().path(QUrl::FullyDecoded);
    if (ConsoleFiles::owns(path)) {
        serveConsole(request, socket, path);
        return true;
    }
    ApiRequest in;
    in.method = methodName(request.method());
    in.path = path.toStdString();
    const auto items = request.query().queryItems(QUrl::FullyDecoded);
    for (const auto& [key, value] : items) in.query.emplace(key.toStdString(), value.toStdString());
    in.authorization = header(request, "Authorization");
    in.contentType = header(request, "Content-Type");
    const QByteArray body = request.body();
    in.body.assign(body.constData(), static_cast<std::size_t>(body.size()));
    in.peer = request.remoteAddress().toString().toStdString();
    const ApiResponse out = m_service.handle(in);
    QByteArray data(out.body.data(), static_cast<qsizetype>(out.body.size()));
    auto responder = makeResponder(request, socket);
    answer(responder, static_cast<QHttpServerResponder::StatusCode>(out.status),
           QByteArray::fromStdString(out.contentType), data);
    return true;
}

void ApiHttpServer::serveConsole(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path) {
    auto responder = makeResponder(request, socket);
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    if (!get && request.method() != QHttpServerRequest::Method::Head) {
        answer(responder, QHttpServerResponder::StatusCode::MethodNotAllowed, "text/plain; charset=utf-8",
               "the console's files are only read (GET)\n", {{"Allow", "GET, HEAD"}});
        return;
    }
    const auto file = ConsoleFiles::find(path);
    if (!file) {
        answer(responder, QHttpServerResponder::StatusCode::NotFound, "text/plain; charset=utf-8", "no such file\n");
        return;
    }
    answer(responder, QHttpServerResponder::StatusCode::Ok, file->contentType, get ? file->body : QByteArray());
}

void ApiHttpServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    auto responder = makeResponder(request, socket);
    answer(responder, QHttpServerResponder::StatusCode::NotFound, "application/json",
           "{\"error\": \"no such resource\"}\n");
}

}  // namespace kv6::fleet::api
