#pragma once

#include <QByteArray>

#include <vector>

namespace kv6::sim {

// Cuts the TCP stream into the tool's fixed 129-byte frames: byte 0 '~',
// byte 128 ';'. Bytes that cannot start a frame are skipped up to the next '~';
// a candidate whose byte 128 is not ';' loses its first byte and the search
// goes on, so one corrupted frame does not shift every later one.
class RemoteFrameParser {
 public:
  static constexpr qsizetype kFrameSize = 129;

  [[nodiscard]] std::vector<QByteArray> feed(const QByteArray& bytes);
  // Drops the first byte of a stalled partial frame and re-scans.
  [[nodiscard]] std::vector<QByteArray> resync();
  [[nodiscard]] bool hasPending() const { return !m_buffer.isEmpty(); }

 private:
  std::vector<QByteArray> drain();

  QByteArray m_buffer;
};

}  // namespace kv6::sim
