#include "serial_simulator.h"

#include "hex_text.h"

#include <algorithm>
#include <cstdio>

namespace kv6::sim {

SerialSimulator::SerialSimulator(ModuleMemory& memory, const SimOptions& options, QObject* parent)
    : QObject(parent),
      m_options(options),
      m_responder(memory, options.split),
      m_pacer([this](const QByteArray& bytes) { return m_pty.write(bytes); }, options.lineRate) {
  m_staleTimer.setSingleShot(true);
  m_staleTimer.setInterval(kStaleFrameMs);
  m_garbageTimer.setSingleShot(true);
  m_garbageTimer.setInterval(kGarbageAfterMs);
  m_inputTimer.setSingleShot(true);
  m_inputTimer.setTimerType(Qt::PreciseTimer);
  m_clock.start();
  connect(&m_inputTimer, &QTimer::timeout, this, &SerialSimulator::releaseInput);
  connect(&m_pty, &PtyChannel::received, this, &SerialSimulator::onLineBytes);
  connect(&m_staleTimer, &QTimer::timeout, this, &SerialSimulator::onStale);
  connect(&m_pacer, &OutputPacer::drained, this, &SerialSimulator::onDrained);
  connect(&m_garbageTimer, &QTimer::timeout, this, &SerialSimulator::sendGarbage);
}

QString SerialSimulator::start() { return m_pty.open(); }

void SerialSimulator::onLineBytes(const QByteArray& bytes) {
  if (!m_options.lineRate) {
    onReceived(bytes);
    return;
  }
  const qint64 now = m_clock.nsecsElapsed() / 1000;
  m_lineFreeUs = std::max(m_lineFreeUs, now) + bytes.size() * OutputPacer::kMicrosPerByte;
  m_input.emplace_back(m_lineFreeUs, bytes);
  if (!m_inputTimer.isActive()) releaseInput();
}

void SerialSimulator::releaseInput() {
  const qint64 now = m_clock.nsecsElapsed() / 1000;
  while (!m_input.empty() && m_input.front().first <= now) {
    const QByteArray bytes = std::move(m_input.front().second);
    m_input.pop_front();
    onReceived(bytes);
  }
  if (!m_input.empty())
    m_inputTimer.start(static_cast<int>(std::max<qint64>((m_input.front().first - now + 999) / 1000, 1)));
}

void SerialSimulator::onReceived(const QByteArray& bytes) {
  process(m_parser.feed(bytes));
  if (m_parser.hasPending())
    m_staleTimer.start();
  else
    m_staleTimer.stop();
}

void SerialSimulator::onStale() {
  if (m_options.verbose) std::fprintf(stderr, "kv6sim: dropping a stalled partial frame\n");
  process(m_parser.resync());
  if (m_parser.hasPending()) m_staleTimer.start();
}

void SerialSimulator::process(const std::vector<SerialFrame>& frames) {
  for (const SerialFrame& frame : frames) {
    ++m_frameCount;
    if (m_options.verbose) std::fprintf(stderr, "kv6sim <- %s\n", hexText(frame.raw).constData());
    Answer answer = m_responder.handle(frame);
    if (answer.empty()) {
      if (m_options.verbose) std::fprintf(stderr, "kv6sim    (no answer)\n");
      continue;
    }
    if (m_options.dropEvery > 0 && m_frameCount % m_options.dropEvery == 0) {
      if (m_options.verbose) std::fprintf(stderr, "kv6sim    (answer dropped)\n");
      continue;
    }
    answer.front().pauseBeforeMs += m_options.delayMs;
    if (m_options.verbose) {
      QByteArray whole;
      for (const OutputPiece& piece : answer) whole += piece.bytes;
      std::fprintf(stderr, "kv6sim -> %s\n", hexText(whole).constData());
    }
    m_garbageTimer.stop();
    m_answerSent = true;
    m_pacer.enqueue(answer);
  }
}

void SerialSimulator::onDrained() {
  if (m_options.garbage && m_answerSent) m_garbageTimer.start();
  m_answerSent = false;
}

// Noise drawn from lower-case letters, digits and a few signs: it can never
// form a command word, an acknowledgement or a field separator.
void SerialSimulator::sendGarbage() {
  if (!m_pacer.isIdle()) return;  // an answer is on its way; never cut into it
  static constexpr char kAlphabet[] = "abcdefghjkmnpqrtuvxyz0123456789 .-_!#$%&*()+<>?@";
  QByteArray noise;
  const int length = 4 + static_cast<int>(m_noise.bounded(20));
  for (int i = 0; i < length; ++i) {
    if (m_noise.bounded(4) == 0)
      noise += static_cast<char>(0x80 + m_noise.bounded(0x7F));  // 0x80..0xFE
    else
      noise += kAlphabet[m_noise.bounded(static_cast<int>(sizeof kAlphabet) - 1)];
  }
  if (m_options.verbose) std::fprintf(stderr, "kv6sim -> noise %s\n", hexText(noise).constData());
  m_pacer.enqueue({{noise, false, 0}});
}

}  // namespace kv6::sim
