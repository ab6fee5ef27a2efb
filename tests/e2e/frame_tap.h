#pragma once

#include <QHostAddress>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <memory>

namespace kv6::e2e {

// A TCP relay in front of one kv6d that reads what the server sends its
// modules: a 24-byte greeting, then 129-byte frames starting with '~' whose
// fourth byte is the command. It counts the frames that change a module
// (write 'W', password 'P', reset 'K'), and those that still come, after
// markResumed(), on a connection that was changing its module before it:
// a job the server ran then. (A connection that had not started a job may
// get one once the server joined again.) It runs on a thread of its own,
// so that it relays while the test waits.
class FrameTap final : public QThread {
public:
    static constexpr int kGreetingSize = 24;
    static constexpr int kFrameSize = 129;

    explicit FrameTap(quint16 target) : m_target(target) {
        start();
        m_ready.acquire();
    }
    ~FrameTap() override {
        quit();
        wait();
    }
    FrameTap(const FrameTap&) = delete;
    FrameTap& operator=(const FrameTap&) = delete;

    [[nodiscard]] quint16 port() const { return m_port; }
    void markResumed() { m_resumed = true; }
    [[nodiscard]] int changes() const { return m_changes; }
    [[nodiscard]] int lateChanges() const { return m_lateChanges; }

protected:
    void run() override {
        QTcpServer server;
        if (server.listen(QHostAddress::LocalHost, 0)) m_port = server.serverPort();
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
            while (QTcpSocket* module = server.nextPendingConnection()) relay(module);
        });
        m_ready.release();
        exec();
    }

private:
    struct Link {
        bool changedBeforeResume = false;
        int greetingLeft = kGreetingSize;
        QByteArray early;  // from the module before the server's side connected
        QByteArray frames;
    };

    void relay(QTcpSocket* module) {
        auto* server = new QTcpSocket(module);
        auto link = std::make_shared<Link>();
        QObject::connect(module, &QTcpSocket::readyRead, module, [module, server, link] {
            const QByteArray data = module->readAll();
            if (server->state() == QAbstractSocket::ConnectedState)
                server->write(data);
            else
                link->early += data;
        });
        QObject::connect(server, &QTcpSocket::connected, server, [server, link] {
            server->write(link->early);
            link->early.clear();
        });
        QObject::connect(server, &QTcpSocket::readyRead, server, [this, module, server, link] {
            const QByteArray data = server->readAll();
            module->write(data);
            watch(*link, data);
        });
        QObject::connect(server, &QTcpSocket::disconnected, module, [module] { module->disconnectFromHost(); });
        QObject::connect(server, &QTcpSocket::errorOccurred, module, [module](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError) module->abort();
        });
        QObject::connect(module, &QTcpSocket::disconnected, module, [module, server] {
            server->disconnectFromHost();
            module->deleteLater();
        });
        server->connectToHost(QHostAddress::LocalHost, m_target);
    }

    void watch(Link& link, QByteArray data) {
        const qsizetype greeting = std::min<qsizetype>(link.greetingLeft, data.size());
        link.greetingLeft -= static_cast<int>(greeting);
        link.frames += data.mid(greeting);
        while (link.frames.size() >= kFrameSize) {
            if (link.frames[0] != '~') {  // out of step: find the next frame's start
                link.frames.remove(0, 1);
                continue;
            }
            const char command = link.frames[3];
            link.frames.remove(0, kFrameSize);
            if (command != 'W' && command != 'P' && command != 'K') continue;
            ++m_changes;
            if (!m_resumed)
                link.changedBeforeResume = true;
            else if (link.changedBeforeResume)
                ++m_lateChanges;
        }
    }

    quint16 m_target;
    std::atomic<quint16> m_port{0};
    QSemaphore m_ready;
    std::atomic<bool> m_resumed{false};
    std::atomic<int> m_changes{0};
    std::atomic<int> m_lateChanges{0};
};

}  // namespace kv6::e2e
