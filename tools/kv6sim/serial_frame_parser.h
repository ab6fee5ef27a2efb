#pragma once

#include <QByteArray>

#include <vector>

namespace kv6::sim {

// One complete command from the serial byte stream.
struct SerialFrame {
  enum class Kind { Read, Write, Password, Kill, Version };
  Kind kind = Kind::Read;
  int address = 0;          // Read, Write
  int count = 0;            // Read
  QByteArray data;          // Write: the raw data bytes
  quint16 currentPassword = 0;  // Password
  quint16 newPassword = 0;      // Password
  QByteArray raw;           // the whole frame as received
};

// Assembles frames from a serial byte stream that may come in pieces and
// carry junk between frames. Frames have no checksum, so a frame is taken only
// when every fixed byte (separators, carriage return) sits where it belongs;
// otherwise the leading byte is skipped and the search for "IP~" goes on.
// A write's data are raw and counted by its length byte, never delimited.
class SerialFrameParser {
 public:
  // Appends the bytes and returns the frames they complete, in order.
  [[nodiscard]] std::vector<SerialFrame> feed(const QByteArray& bytes);

  // Gives up on a partial frame that stopped arriving: drops its first byte
  // and re-scans what follows. Returns the frames that then complete.
  [[nodiscard]] std::vector<SerialFrame> resync();

  [[nodiscard]] bool hasPending() const { return !m_buffer.isEmpty(); }

 private:
  enum class Step { Frame, NeedMore, Skip };
  Step takeFrame(SerialFrame& frame, qsizetype& length) const;
  std::vector<SerialFrame> drain();

  QByteArray m_buffer;
};

}  // namespace kv6::sim
