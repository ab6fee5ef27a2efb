#include "output_pacer.h"

#include <algorithm>

namespace kv6::sim {

OutputPacer::OutputPacer(Sink sink, bool lineRate, fleet::ModuleLoop* loop, QObject* parent)
    : QObject(parent), m_sink(std::move(sink)), m_lineRate(lineRate), m_timer(loop, [this] { pump(); }) {
  m_clock.start();
}

void OutputPacer::enqueue(const Answer& answer) {
  for (const OutputPiece& piece : answer)
    if (!piece.bytes.isEmpty()) m_queue.push_back(piece);
  if (!m_timer.isActive()) pump();
}

void OutputPacer::wakeIn(qint64 ms) { m_timer.start(static_cast<int>(std::max<qint64>(ms, 1))); }

void OutputPacer::pump() {
  while (!m_queue.empty()) {
    OutputPiece& head = m_queue.front();
    const qint64 now = m_clock.nsecsElapsed() / 1000;
    if (m_headReadyUs < 0) {
      m_headReadyUs = now + qint64{head.pauseBeforeMs} * 1000;
      // A fresh start after silence: the line may send its first byte at once.
      m_lastUs = m_headReadyUs;
      m_budget = 1;
    }
    if (now < m_headReadyUs) {
      wakeIn((m_headReadyUs - now + 999) / 1000);
      return;
    }
    qsizetype wanted = head.bytes.size();
    if (m_lineRate) {
      m_budget += static_cast<double>(now - m_lastUs) / kMicrosPerByte;
      m_lastUs = now;
      if (m_budget < 1) {
        wakeIn(1);
        return;
      }
      // An atomic piece leaves in one write, once the line could have carried
      // all of it: it arrives when its last byte would have, not earlier.
      if (head.atomic && m_budget < static_cast<double>(wanted)) {
        wakeIn(static_cast<qint64>((static_cast<double>(wanted) - m_budget) * kMicrosPerByte / 1000) + 1);
        return;
      }
      if (!head.atomic) wanted = std::min<qsizetype>(wanted, static_cast<qsizetype>(m_budget));
    }
    const qint64 written = std::max<qint64>(m_sink(head.bytes.left(wanted)), 0);
    head.bytes.remove(0, written);
    m_budget -= static_cast<double>(written);
    if (written < wanted) {  // the line is full; try again shortly
      wakeIn(2);
      return;
    }
    if (head.bytes.isEmpty()) {
      m_queue.pop_front();
      // The next piece follows without a break unless it asks for a pause.
      if (!m_queue.empty() && m_queue.front().pauseBeforeMs == 0) {
        m_headReadyUs = now;
      } else {
        m_headReadyUs = -1;
      }
    }
  }
  m_headReadyUs = -1;
  emit drained();
}

}  // namespace kv6::sim
