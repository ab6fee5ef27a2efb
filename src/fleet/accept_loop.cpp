#include "fleet/accept_loop.h"

#include <QSocketNotifier>
#include <QTcpSocket>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kv6::fleet {

namespace {
bool outOfDescriptors(int error) { return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM; }
}  // namespace

AcceptLoop::AcceptLoop(bool keepReserve, QObject* parent) : AcceptLoop(keepReserve, m_ownServer, parent) {}

AcceptLoop::AcceptLoop(bool keepReserve, QTcpServer& server, QObject* parent)
    : QObject(parent), m_server(server), m_keepReserve(keepReserve) {
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &AcceptLoop::descriptorFreed);
    takeReserve();
}

AcceptLoop::~AcceptLoop() {
    close();
    if (m_reserve >= 0) ::close(m_reserve);
}

bool AcceptLoop::listen(const QHostAddress& address, quint16 port, int backlog) {
    close();
    m_server.setListenBacklogSize(backlog);
    if (!m_server.listen(address, port)) return false;
    // Qt's own accepting stays off: it retries a failed accept at once, forever.
    m_server.pauseAccepting();
    // Watched through a descriptor of its own: a server given to the loop may
    // switch its own notifier on again (QTcpServer::nextPendingConnection()
    // does), and Qt allows one read notifier per descriptor.
    const int watched = &m_server == &m_ownServer ? -1 : ::dup(static_cast<int>(m_server.socketDescriptor()));
    m_watched = watched;
    m_notifier = std::make_unique<QSocketNotifier>(watched >= 0 ? watched : m_server.socketDescriptor(),
                                                   QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &AcceptLoop::acceptPending);
    m_waiting = false;
    update();
    return true;
}

void AcceptLoop::close() {
    m_notifier.reset();
    if (m_watched >= 0) ::close(m_watched);
    m_watched = -1;
    m_retry.stop();
    m_server.close();
}

void AcceptLoop::hold(bool held) {
    if (m_held == held) return;
    m_held = held;
    update();
}

void AcceptLoop::descriptorFreed() {
    takeReserve();
    if (!m_waiting) return;
    m_waiting = false;
    update();
}

void AcceptLoop::takeReserve() {
    if (m_keepReserve && m_reserve < 0) m_reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

void AcceptLoop::update() {
    if (m_notifier) m_notifier->setEnabled(!m_held && !m_waiting);
}

void AcceptLoop::acceptPending() {
    if (!m_notifier) return;
    const int listening = static_cast<int>(m_server.socketDescriptor());
    for (int taken = 0; taken < kBatch && !m_held;) {
        const int fd = ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == EINTR || error == ECONNABORTED) continue;
            if (error == EAGAIN || error == EWOULDBLOCK) break;
            if (outOfDescriptors(error) && m_reserve >= 0) {
                ::close(m_reserve);
                m_reserve = -1;
                continue;
            }
            // Out of descriptors, or any other refusal: try again later, never at once.
            m_waiting = true;
            m_retry.start();
            if (outOfDescriptors(error) && !m_reported) {
                m_reported = true;
                emit descriptorsExhausted(true);
            }
            break;
        }
        ++taken;
        QTcpSocket* socket = nullptr;
        if (!m_bareDescriptors) {
            socket = new QTcpSocket;
            if (!socket->setSocketDescriptor(fd)) {
                ::close(fd);
                delete socket;
                continue;
            }
        }
        if (m_reported) {
            m_reported = false;
            emit descriptorsExhausted(false);
        }
        if (socket != nullptr)
            emit accepted(socket);
        else
            emit acceptedDescriptor(fd);
        if (!m_notifier) return;  // the receiver closed the loop
    }
    update();
}

}  // namespace kv6::fleet
