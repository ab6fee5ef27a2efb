#pragma once

#include "module_memory.h"
#include "output_pacer.h"
#include "pty_channel.h"
#include "serial_frame_parser.h"
#include "serial_responder.h"
#include "sim_options.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

#include <deque>
#include <utility>

namespace kv6::sim {

// The module on the serial line: pseudo-terminal in, frames parsed, answers
// paced out, with the fault injection the options ask for.
class SerialSimulator : public QObject {
  Q_OBJECT
 public:
  static constexpr int kStaleFrameMs = 1000;  // a partial frame silent this long is junk
  static constexpr int kGarbageAfterMs = 300;

  SerialSimulator(ModuleMemory& memory, const SimOptions& options, QObject* parent = nullptr);

  // Creates the pseudo-terminal; an empty text on success.
  [[nodiscard]] QString start();
  [[nodiscard]] QString slavePath() const { return m_pty.slavePath(); }

 private:
  void onReceived(const QByteArray& bytes);
  void onLineBytes(const QByteArray& bytes);
  void releaseInput();
  void onStale();
  void process(const std::vector<SerialFrame>& frames);
  void onDrained();
  void sendGarbage();

  const SimOptions& m_options;
  PtyChannel m_pty;
  SerialFrameParser m_parser;
  SerialResponder m_responder;
  OutputPacer m_pacer;
  QTimer m_staleTimer;
  QTimer m_garbageTimer;
  QRandomGenerator m_noise{0x6B7636};  // fixed seed: runs are repeatable
  long long m_frameCount = 0;
  bool m_answerSent = false;  // noise follows answers only, never noise itself
  // --line-rate: what the tool wrote reaches the module at 9600 baud too. Each
  // piece is handed on when its last byte would have crossed the line.
  QElapsedTimer m_clock;
  QTimer m_inputTimer;
  std::deque<std::pair<qint64, QByteArray>> m_input;  // (when, bytes), in order
  qint64 m_lineFreeUs = 0;                             // when the line has carried all so far
};

}  // namespace kv6::sim
