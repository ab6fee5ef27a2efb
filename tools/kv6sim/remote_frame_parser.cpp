#include "remote_frame_parser.h"

namespace kv6::sim {

std::vector<QByteArray> RemoteFrameParser::feed(const QByteArray& bytes) {
  m_buffer.append(bytes);
  return drain();
}

std::vector<QByteArray> RemoteFrameParser::resync() {
  if (!m_buffer.isEmpty()) m_buffer.remove(0, 1);
  return drain();
}

std::vector<QByteArray> RemoteFrameParser::drain() {
  std::vector<QByteArray> frames;
  for (;;) {
    const qsizetype start = m_buffer.indexOf('~');
    if (start < 0) {
      m_buffer.clear();
      return frames;
    }
    m_buffer.remove(0, start);
    if (m_buffer.size() < kFrameSize) return frames;
    if (m_buffer[kFrameSize - 1] != ';') {
      m_buffer.remove(0, 1);
      continue;
    }
    frames.push_back(m_buffer.left(kFrameSize));
    m_buffer.remove(0, kFrameSize);
  }
}

}  // namespace kv6::sim
