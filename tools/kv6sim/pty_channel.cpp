#include "pty_channel.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace kv6::sim {
namespace {

QString systemError(const char* what) {
  return QStringLiteral("%1: %2").arg(QString::fromLatin1(what), QString::fromLocal8Bit(std::strerror(errno)));
}

bool makeRaw(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;
  cfmakeraw(&settings);
  cfsetispeed(&settings, B9600);
  cfsetospeed(&settings, B9600);
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

}  // namespace

PtyChannel::PtyChannel(QObject* parent) : QObject(parent) {}

PtyChannel::~PtyChannel() {
  if (m_master >= 0) ::close(m_master);
  if (m_slave >= 0) ::close(m_slave);
}

QString PtyChannel::open() {
  m_master = posix_openpt(O_RDWR | O_NOCTTY);
  if (m_master < 0) return systemError("posix_openpt");
  if (grantpt(m_master) != 0) return systemError("grantpt");
  if (unlockpt(m_master) != 0) return systemError("unlockpt");
  const char* name = ptsname(m_master);
  if (name == nullptr) return systemError("ptsname");
  m_slavePath = QString::fromLocal8Bit(name);
  m_slave = ::open(name, O_RDWR | O_NOCTTY);
  if (m_slave < 0) return systemError("open slave");
  // The line discipline sits on the slave side: raw there means no echo, no
  // CR translation, so the data bytes arrive exactly as written.
  if (!makeRaw(m_slave) || !makeRaw(m_master)) return systemError("tcsetattr");
  const int flags = fcntl(m_master, F_GETFL);
  if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) return systemError("fcntl");
  m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, &PtyChannel::readAvailable);
  return {};
}

qint64 PtyChannel::write(const QByteArray& bytes) {
  if (m_master < 0) return 0;
  const ssize_t written = ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size()));
  return written < 0 ? 0 : written;
}

void PtyChannel::readAvailable() {
  char chunk[4096];
  for (;;) {
    const ssize_t count = ::read(m_master, chunk, sizeof chunk);
    if (count > 0) {
      emit received(QByteArray(chunk, static_cast<qsizetype>(count)));
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    return;  // EAGAIN: drained; EIO cannot happen while our slave is open
  }
}

}  // namespace kv6::sim
