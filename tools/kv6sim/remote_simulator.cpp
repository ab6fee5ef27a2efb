#include "remote_simulator.h"

#include "hex_text.h"

#include <cstdio>

namespace kv6::sim {

RemoteSimulator::RemoteSimulator(ModuleMemory& memory, const SimOptions& options, QString object, QString logName,
                                 QObject* parent)
    : QObject(parent),
      m_options(options),
      m_object(std::move(object)),
      m_logName(std::move(logName)),
      m_responder(memory),
      m_pacer(
          [this](const QByteArray& bytes) {
            const qint64 written = m_socket.write(bytes);
            m_socket.flush();  // each piece leaves as its own TCP write
            return written;
          },
          false) {
  m_staleTimer.setSingleShot(true);
  m_staleTimer.setInterval(kStaleFrameMs);
  connect(&m_socket, &QTcpSocket::connected, this, &RemoteSimulator::onConnected);
  connect(&m_socket, &QTcpSocket::readyRead, this, &RemoteSimulator::onReadyRead);
  connect(&m_socket, &QTcpSocket::errorOccurred, this, &RemoteSimulator::onError);
  connect(&m_socket, &QTcpSocket::disconnected, this, [this] { finish(0); });
  connect(&m_staleTimer, &QTimer::timeout, this, &RemoteSimulator::onStale);
}

QByteArray RemoteSimulator::identification(const QString& object) {
  return QByteArrayLiteral("#") + QByteArray(13, '0') + QByteArrayLiteral("SR ") + object.toLatin1();
}

void RemoteSimulator::start(const QString& host) { m_socket.connectToHost(host, m_options.connectPort); }

void RemoteSimulator::onConnected() {
  m_connected = true;
  if (m_options.verbose)
    std::fprintf(stderr, "%s: connected to %s:%u\n", qPrintable(m_logName), qPrintable(m_options.connectHost),
                 unsigned{m_options.connectPort});
}

void RemoteSimulator::onReadyRead() {
  QByteArray bytes = m_socket.readAll();
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
    m_staleTimer.start();
  else
    m_staleTimer.stop();
}

void RemoteSimulator::onStale() {
  process(m_parser.resync());
  if (m_parser.hasPending()) m_staleTimer.start();
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
