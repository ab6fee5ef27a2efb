#pragma once

// Runs the built kv6sim and talks to it over its pseudo-terminal. Frames are
// written here as literal bytes, never built by the tool's own code.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kv6sim_test {

inline void startSim(QProcess& process, const QStringList& arguments) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
  process.setProcessEnvironment(environment);
  process.setProcessChannelMode(QProcess::SeparateChannels);
  process.start(QStringLiteral(KV6SIM_PATH), arguments);
}

// Starts the simulator in serial mode and returns the slave path (empty on failure).
inline QString startSerialSim(QProcess& process, QStringList arguments) {
  arguments.prepend(QStringLiteral("--serial"));
  startSim(process, arguments);
  if (!process.waitForStarted(5000)) return {};
  while (!process.canReadLine())
    if (!process.waitForReadyRead(5000)) return {};
  return QString::fromLocal8Bit(process.readLine()).trimmed();
}

// Raw, non-blocking end of the tool's side of the line.
class PtyPort {
 public:
  explicit PtyPort(const QString& path) {
    m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) return;
    termios settings{};
    tcgetattr(m_fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(m_fd, TCSANOW, &settings);
  }
  ~PtyPort() {
    if (m_fd >= 0) ::close(m_fd);
  }
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  [[nodiscard]] bool isOpen() const { return m_fd >= 0; }

  void send(const QByteArray& bytes) const {
    qsizetype done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(m_fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
      if (n > 0) {
        done += n;
      } else {
        pollfd p{m_fd, POLLOUT, 0};
        ::poll(&p, 1, 100);
      }
    }
  }

  // Collects bytes until `done` holds for them or the time runs out.
  [[nodiscard]] QByteArray receiveUntil(const std::function<bool(const QByteArray&)>& done,
                                        int timeoutMs) const {
    QByteArray received;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(received)) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      pollfd p{m_fd, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char chunk[4096];
      const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
      if (n > 0) received.append(chunk, n);
    }
    return received;
  }

  // Everything that arrives within the time.
  [[nodiscard]] QByteArray receiveFor(int ms) const {
    return receiveUntil([](const QByteArray&) { return false; }, ms);
  }

 private:
  int m_fd = -1;
};

// A 129-byte frame: '~', object 12 34, command, address, length, check, data, ';'.
inline QByteArray remoteFrame(char command, int address, int length, const QByteArray& data = {}, int check = -1) {
  QByteArray f(129, '\0');
  f[0] = '~';
  f[1] = 0x12;
  f[2] = 0x34;
  f[3] = command;
  f[4] = static_cast<char>(address >> 8);
  f[5] = static_cast<char>(address & 0xFF);
  f[6] = static_cast<char>(length);
  unsigned char x = 0;
  for (const char c : data) x ^= static_cast<unsigned char>(c);
  f[7] = static_cast<char>(check < 0 ? x : check);
  f.replace(8, data.size(), data);
  f[128] = ';';
  return f;
}

inline bool endsWithBlockEnd(const QByteArray& bytes) { return bytes.endsWith(";\r"); }

}  // namespace kv6sim_test
