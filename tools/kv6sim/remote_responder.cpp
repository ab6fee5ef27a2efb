#include "remote_responder.h"

namespace kv6::sim {
namespace {

int byteAt(const QByteArray& bytes, qsizetype index) { return static_cast<unsigned char>(bytes[index]); }

char xorOf(const QByteArray& bytes, qsizetype first, qsizetype count) {
  unsigned char check = 0;
  for (qsizetype i = first; i < first + count; ++i) check ^= static_cast<unsigned char>(bytes[i]);
  return static_cast<char>(check);
}

// '~', the two object bytes of the request, the command, then bytes 4..7.
QByteArray header(const QByteArray& frame, char command) {
  QByteArray reply = frame.left(8);
  reply[3] = command;
  return reply;
}

}  // namespace

QByteArray RemoteResponder::handle(const QByteArray& frame) {
  if (frame.size() != 129) return {};
  const int address = byteAt(frame, 4) << 8 | byteAt(frame, 5);
  switch (frame[3]) {
    case 'R': {
      QByteArray reply = header(frame, 'R');
      reply[6] = static_cast<char>(128);
      reply[7] = 0;
      return reply + m_memory.read(address, 128);
    }
    case 'W': {
      const int length = byteAt(frame, 6);
      if (length > kMaxWriteLength || xorOf(frame, 8, length) != frame[7]) return {};
      m_memory.write(address, frame.mid(8, length));
      return header(frame, 'W');
    }
    case 'P': {
      // A corrupted password frame must not change the password.
      if (xorOf(frame, 8, 4) != frame[7]) return {};
      const auto current = static_cast<quint16>(byteAt(frame, 8) << 8 | byteAt(frame, 9));
      if (current != m_memory.password()) return header(frame, kRefused);
      m_memory.setPassword(static_cast<quint16>(byteAt(frame, 10) << 8 | byteAt(frame, 11)));
      return header(frame, 'P');
    }
    case 'K':
      m_memory.factoryReset();
      return header(frame, 'K');
    default:  // keep-alive (0) and anything unknown
      return {};
  }
}

}  // namespace kv6::sim
