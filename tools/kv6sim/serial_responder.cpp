#include "serial_responder.h"

namespace kv6::sim {

Answer SerialResponder::handle(const SerialFrame& frame) {
  switch (frame.kind) {
    case SerialFrame::Kind::Read: {
      const QByteArray body = QByteArrayLiteral("~R=,") + m_memory.read(frame.address, frame.count);
      // ';' and CR normally go out together; split mode parts them on purpose,
      // so the tool never sees the end of the block in one chunk.
      if (m_split) return {{body + ';', false, 0}, {QByteArrayLiteral("\r"), true, kSplitPauseMs}};
      return {{body, false, 0}, {QByteArrayLiteral(";\r"), true, 0}};
    }
    case SerialFrame::Kind::Write:
      m_memory.write(frame.address, frame.data);
      return acknowledge(QByteArrayLiteral("~W=OK"));
    case SerialFrame::Kind::Password:
      if (frame.currentPassword != m_memory.password()) return {};
      m_memory.setPassword(frame.newPassword);
      return acknowledge(QByteArrayLiteral("~PSSW=OK"));
    case SerialFrame::Kind::Kill:
      m_memory.factoryReset();
      return acknowledge(QByteArrayLiteral("~KILL=OK"));
    case SerialFrame::Kind::Version:
      return acknowledge(QByteArrayLiteral("~SWVR=KV6SIM 1.0"));
  }
  return {};
}

// The key text always stays whole in one piece; split mode only detaches the
// line end, so an acknowledgement stays recognisable in either half.
Answer SerialResponder::acknowledge(const QByteArray& text) const {
  if (m_split) return {{text, true, 0}, {QByteArrayLiteral("\r\n"), true, kSplitPauseMs}};
  return {{text + "\r\n", true, 0}};
}

}  // namespace kv6::sim
