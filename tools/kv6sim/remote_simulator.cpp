#include "remote_simulator.h"

#include "fleet/module_socket.h"
#include "hex_text.h"

#include <QHostAddress>

#include <cstdio>
#include <cstring>
#include <netinet/in.h>

namespace kv6::sim {

RemoteSimulator::RemoteSimulator(ModuleMemory& memory, const SimOptions& options, QString object, QString logName,
                                 fleet::ModuleLoop* loop, QObject* parent)
    : QObject(parent),
      m_options(options),
      m_object(std::move(object)),
      m_logName(std::move(logName)),
      m_responder(memory),
      m_pacer(
          [this](const QByteArray& bytes) -> qint64 {
            if (m_loopSocket) {
              // The loop's socket keeps what the kernel does not take yet, in order.
              m_loopSocket->write({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                   static_cast<std::size_t>(bytes.size())});
              return bytes.size();
            }
            const qint64 written = m_socket.write(bytes);
            m_socket.flush();  // each piece leaves as its own TCP write
            return written;
          },
          false, loop),
      m_staleTimer(loop, [this] { onStale(); }) {
  if (loop != nullptr) m_loopSocket = std::make_unique<fleet::ModuleSocket>(*loop);
  connect(&m_socket, &QTcpSocket::connected, this, &RemoteSimulator::onConnected);
  connect(&m_socket, &QTcpSocket::readyRead, this, &RemoteSimulator::onReadyRead);
  connect(&m_socket, &QTcpSocket::errorOccurred, this, &RemoteSimulator::onError);
  connect(&m_socket, &QTcpSocket::disconnected, this, [this] { finish(0); });
}

QByteArray RemoteSimulator::identification(const QString& object) {
  return QByteArrayLiteral("#") + QByteArray(13, '0') + QByteArrayLiteral("SR ") + object.toLatin1();
}

RemoteSimulator::~RemoteSimulator() = default;

void RemoteSimulator::start(const QString& host) {
  if (!m_loopSocket) {
    m_socket.connectToHost(host, m_options.connectPort);
    return;
  }
  sockaddr_storage address{};
  const QHostAddress parsed(host);
  bool ok = false;
  if (parsed.protocol() == QAbstractSocket::IPv4Protocol) {
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(m_options.connectPort);
    v4.sin_addr.s_addr = htonl(parsed.toIPv4Address(&ok));
  } else if (parsed.protocol() == QAbstractSocket::IPv6Protocol) {
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(m_options.connectPort);
    const Q_IPV6ADDR bytes = parsed.toIPv6Address();
    std::memcpy(&v6.sin6_addr, bytes.c, sizeof bytes.c);
    ok = true;
  }
  const auto readBytes = [this](std::span<const std::uint8_t> bytes) {
    received(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
  };
  const auto hungUp = [this] {
    // Inside the socket's own callback: its end is handled after it returns.
    QMetaObject::invokeMethod(this, [this] { finish(0); }, Qt::QueuedConnection);
  };
  if (!ok || !m_loopSocket->connectTo(reinterpret_cast<const sockaddr&>(address),
                                      [this](int status) { onCalled(status); }, readBytes, hungUp)) {
    QMetaObject::invokeMethod(this, [this, host] {
      emit failed(QStringLiteral("cannot call %1").arg(host));
      finish(1);
    }, Qt::QueuedConnection);
  }
}

void RemoteSimulator::onCalled(int status) {
  if (status == 0) {
    onConnected();
    return;
  }
  // The system's own text ("Connection refused"), as the Qt socket says it.
  const QString text = QString::fromLocal8Bit(std::strerror(-status));
  QMetaObject::invokeMethod(this, [this, text] {
    emit failed(text);
    finish(1);
  }, Qt::QueuedConnection);
}

void RemoteSimulator::onConnected() {
  m_connected = true;
  if (m_options.verbose)
    std::fprintf(stderr, "%s: connected to %s:%u\n", qPrintable(m_logName), qPrintable(m_options.connectHost),
                 unsigned{m_options.connectPort});
}

void RemoteSimulator::onReadyRead() { received(m_socket.readAll()); }

void RemoteSimulator::received(QByteArray bytes) {
  if (m_greetingLeft > 0) {
    const qsizetype taken = std::min<qsizetype>(m_greetingLeft, bytes.size());
    m_greetingLeft -= static_cast<int>(taken);
    bytes.remove(0, taken);
    if (m_greetingLeft == 0) {
      const QByteArray ident = identification(m_object);
      if (m_options.verbose) std::fprintf(stderr, "%s -> %s\n", qPrintable(m_logName), hexText(ident).constData());
      if (m_options.split) {
        const qsizetype half = ident.size() / 2;
        m_pacer.enqueue({{ident.left(half), true, 0}, {ident.mid(half), true, kSplitPauseMs}});
      } else {
        m_pacer.enqueue({{ident, true, 0}});
      }
    }
  }
  if (bytes.isEmpty()) return;
  process(m_parser.feed(bytes));
  if (m_parser.hasPending())
    m_staleTimer.start(kStaleFrameMs);
  else
    m_staleTimer.stop();
}

void RemoteSimulator::onStale() {
  process(m_parser.resync());
  if (m_parser.hasPending()) m_staleTimer.start(kStaleFrameMs);
}

void RemoteSimulator::process(const std::vector<QByteArray>& frames) {
  for (const QByteArray& frame : frames) {
    ++m_frameCount;
    if (m_options.verbose) std::fprintf(stderr, "%s <- %s\n", qPrintable(m_logName), hexText(frame).constData());
    const QByteArray reply = m_responder.handle(frame);
    if (reply.isEmpty()) {
      if (m_options.verbose) std::fprintf(stderr, "%s    (no answer)\n", qPrintable(m_logName));
      continue;
    }
    if (m_options.dropEvery > 0 && m_frameCount % m_options.dropEvery == 0) {
      if (m_options.verbose) std::fprintf(stderr, "%s    (answer dropped)\n", qPrintable(m_logName));
      continue;
    }
    if (m_options.verbose) std::fprintf(stderr, "%s -> %s\n", qPrintable(m_logName), hexText(reply).constData());
    if (m_options.split) {
      const qsizetype half = reply.size() / 2;
      m_pacer.enqueue({{reply.left(half), true, m_options.delayMs},
                       {reply.mid(half), true, kSplitPauseMs}});
    } else {
      m_pacer.enqueue({{reply, true, m_options.delayMs}});
    }
  }
}

void RemoteSimulator::onError(QAbstractSocket::SocketError error) {
  if (error == QAbstractSocket::RemoteHostClosedError && m_connected) return;  // disconnected follows
  emit failed(m_socket.errorString());
  finish(m_connected ? 0 : 1);
}

void RemoteSimulator::finish(int exitCode) {
  if (m_finished) return;
  m_finished = true;
  if (m_options.verbose) std::fprintf(stderr, "%s: connection closed\n", qPrintable(m_logName));
  emit finished(exitCode);
}

}  // namespace kv6::sim
