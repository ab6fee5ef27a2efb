#pragma once

#include <QObject>

class QSocketNotifier;

namespace kv6::sim {

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal through a signalfd, so the
// memory is saved by ordinary code on the event loop, not in a handler.
// blockSignals() must run in main before any thread exists.
class SignalWatcher : public QObject {
  Q_OBJECT
 public:
  static void blockSignals();

  explicit SignalWatcher(QObject* parent = nullptr);
  ~SignalWatcher() override;

  [[nodiscard]] bool isValid() const { return m_fd >= 0; }

 signals:
  void terminationRequested(int signalNumber);

 private:
  void readSignal();

  int m_fd = -1;
  QSocketNotifier* m_notifier = nullptr;
};

}  // namespace kv6::sim
