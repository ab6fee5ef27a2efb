#include "serial_frame_parser.h"

namespace kv6::sim {
namespace {

constexpr char kCr = '\r';
constexpr qsizetype kWordLength = 8;
const QByteArray kStart = QByteArrayLiteral("IP~");

int byteAt(const QByteArray& bytes, qsizetype index) {
  return static_cast<unsigned char>(bytes[index]);
}

}  // namespace

std::vector<SerialFrame> SerialFrameParser::feed(const QByteArray& bytes) {
  m_buffer.append(bytes);
  return drain();
}

std::vector<SerialFrame> SerialFrameParser::resync() {
  if (!m_buffer.isEmpty()) m_buffer.remove(0, 1);
  return drain();
}

std::vector<SerialFrame> SerialFrameParser::drain() {
  std::vector<SerialFrame> frames;
  for (;;) {
    const qsizetype start = m_buffer.indexOf(kStart);
    if (start < 0) {
      // Keep a tail that may be the beginning of "IP~".
      qsizetype keep = 0;
      if (m_buffer.endsWith("IP"))
        keep = 2;
      else if (m_buffer.endsWith('I'))
        keep = 1;
      m_buffer = m_buffer.right(keep);
      return frames;
    }
    m_buffer.remove(0, start);
    SerialFrame frame;
    qsizetype length = 0;
    switch (takeFrame(frame, length)) {
      case Step::NeedMore:
        return frames;
      case Step::Skip:
        m_buffer.remove(0, 1);
        break;
      case Step::Frame:
        frame.raw = m_buffer.left(length);
        m_buffer.remove(0, length);
        frames.push_back(std::move(frame));
        break;
    }
  }
}

// The buffer starts with "IP~". Decides whether a whole valid frame is there.
SerialFrameParser::Step SerialFrameParser::takeFrame(SerialFrame& frame, qsizetype& length) const {
  const QByteArray& b = m_buffer;
  if (b.size() < kWordLength) {
    // Stop early on a word that cannot become a known one.
    for (const char* word : {"IP~BLRD=", "IP~BLWR=", "IP~PSSW=", "IP~KILL=", "IP~SWVR?"})
      if (QByteArray(word).startsWith(b)) return Step::NeedMore;
    return Step::Skip;
  }
  const QByteArray word = b.left(kWordLength);
  if (word == "IP~BLRD=") {
    length = 13;
    if (b.size() < length) return Step::NeedMore;
    if (b[10] != ',' || b[12] != kCr) return Step::Skip;
    frame.kind = SerialFrame::Kind::Read;
    frame.address = byteAt(b, 8) << 8 | byteAt(b, 9);
    frame.count = byteAt(b, 11);
    return Step::Frame;
  }
  if (word == "IP~BLWR=") {
    if (b.size() < 13) return Step::NeedMore;
    if (b[10] != ',' || b[12] != ',') return Step::Skip;
    const int n = byteAt(b, 11);
    length = 13 + n + 1;
    if (b.size() < length) return Step::NeedMore;
    if (b[length - 1] != kCr) return Step::Skip;
    frame.kind = SerialFrame::Kind::Write;
    frame.address = byteAt(b, 8) << 8 | byteAt(b, 9);
    frame.data = b.mid(13, n);
    return Step::Frame;
  }
  if (word == "IP~PSSW=") {
    length = 13;
    if (b.size() < length) return Step::NeedMore;
    if (b[12] != kCr) return Step::Skip;
    frame.kind = SerialFrame::Kind::Password;
    frame.currentPassword = static_cast<quint16>(byteAt(b, 8) << 8 | byteAt(b, 9));
    frame.newPassword = static_cast<quint16>(byteAt(b, 10) << 8 | byteAt(b, 11));
    return Step::Frame;
  }
  if (word == "IP~KILL=" || word == "IP~SWVR?") {
    length = 9;
    if (b.size() < length) return Step::NeedMore;
    if (b[8] != kCr) return Step::Skip;
    frame.kind = word == "IP~KILL=" ? SerialFrame::Kind::Kill : SerialFrame::Kind::Version;
    return Step::Frame;
  }
  return Step::Skip;
}

}  // namespace kv6::sim
