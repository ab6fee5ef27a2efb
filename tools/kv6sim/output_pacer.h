#pragma once

#include "one_shot_timer.h"
#include "output_piece.h"

#include <QElapsedTimer>
#include <QObject>

#include <deque>
#include <functional>

namespace kv6::sim {

// Sends queued answers in order, honouring each piece's pause and, when
// asked, the byte rate of a 9600 baud line. Driven by a timer, so input keeps
// being read while output trickles out; with `loop`, a timer of that loop.
class OutputPacer : public QObject {
  Q_OBJECT
 public:
  // Writes what it can and returns the number of bytes taken (0 when busy).
  using Sink = std::function<qint64(const QByteArray&)>;
  static constexpr qint64 kMicrosPerByte = 1042;  // 10 bits at 9600 baud

  OutputPacer(Sink sink, bool lineRate, fleet::ModuleLoop* loop = nullptr, QObject* parent = nullptr);

  void enqueue(const Answer& answer);
  [[nodiscard]] bool isIdle() const { return m_queue.empty(); }

 signals:
  void drained();

 private:
  void pump();
  void wakeIn(qint64 ms);

  Sink m_sink;
  bool m_lineRate;
  std::deque<OutputPiece> m_queue;
  OneShotTimer m_timer;
  QElapsedTimer m_clock;
  qint64 m_headReadyUs = -1;  // when the head piece may start; -1 = not yet timed
  qint64 m_lastUs = 0;
  double m_budget = 0;        // bytes the line could have sent by now
};

}  // namespace kv6::sim
