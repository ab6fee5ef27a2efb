#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>
#include <memory>

class QSocketNotifier;
class QTcpSocket;

namespace kv6::fleet {

// Accepts the connections of a listening socket without the busy loop that
// accepting falls into once the process is out of file descriptors (every
// accept fails at once, and the socket stays readable): accepting pauses
// while descriptors are exhausted and goes on when one frees
// (descriptorFreed()) or at the next retry; the waiting calls stay in the
// kernel's queue. With a reserve, one descriptor is kept aside and given up
// to take a connection even then (a health check still gets its answer);
// descriptorFreed() takes it back.
class AcceptLoop final : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 1000;
    static constexpr int kBatch = 256;  // connections taken per wake-up: the loop serves others between

    explicit AcceptLoop(bool keepReserve, QObject* parent = nullptr);
    // Accepts for `server`'s socket instead of one of its own (a QSslServer
    // whose owner hands it each descriptor); the server outlives the loop.
    AcceptLoop(bool keepReserve, QTcpServer& server, QObject* parent = nullptr);
    ~AcceptLoop() override;
    AcceptLoop(const AcceptLoop&) = delete;
    AcceptLoop& operator=(const AcceptLoop&) = delete;

    bool listen(const QHostAddress& address, quint16 port, int backlog);
    void close();
    [[nodiscard]] bool isListening() const { return m_server.isListening(); }
    [[nodiscard]] quint16 serverPort() const { return m_server.serverPort(); }
    [[nodiscard]] QString errorString() const { return m_server.errorString(); }

    // Hands on each connection as its bare descriptor (acceptedDescriptor)
    // instead of a QTcpSocket, for an owner that serves it in a loop of its own.
    void handOverDescriptors(bool bare) { m_bareDescriptors = bare; }
    // The owner stops accepting for reasons of its own, or lets it go on.
    void hold(bool held);
    // A descriptor was closed: accepting goes on if it had run out.
    void descriptorFreed();

signals:
    // A new connection, already connected; the receiver owns the socket.
    void accepted(QTcpSocket* socket);
    // The same, handed over as a connected, non-blocking descriptor the receiver owns.
    void acceptedDescriptor(int descriptor);
    // Accepting stopped for want of descriptors (true), or took a connection again (false).
    void descriptorsExhausted(bool exhausted);

private:
    void acceptPending();
    void update();
    void takeReserve();

    QTcpServer m_ownServer;
    QTcpServer& m_server;  // m_ownServer unless another was given
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_watched = -1;  // the listening socket's duplicate the notifier watches, for a given server
    QTimer m_retry;
    bool m_keepReserve;
    bool m_bareDescriptors = false;
    int m_reserve = -1;
    bool m_held = false;
    bool m_waiting = false;   // out of descriptors: not accepting until one frees
    bool m_reported = false;  // descriptorsExhausted(true) said, not yet ended
};

}  // namespace kv6::fleet
