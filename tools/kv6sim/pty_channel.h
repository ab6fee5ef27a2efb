#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace kv6::sim {

// The module's end of a pseudo-terminal pair. The tool opens the slave device
// as its serial port. A slave descriptor stays open here for the whole run so
// that the master never sees a hang-up when the tool closes and reopens it.
class PtyChannel : public QObject {
  Q_OBJECT
 public:
  explicit PtyChannel(QObject* parent = nullptr);
  ~PtyChannel() override;

  // Creates the pair; an empty text on success, otherwise what failed.
  [[nodiscard]] QString open();
  [[nodiscard]] QString slavePath() const { return m_slavePath; }

  // Non-blocking write; the number of bytes the terminal took (0 when full).
  qint64 write(const QByteArray& bytes);

 signals:
  void received(const QByteArray& bytes);

 private:
  void readAvailable();

  int m_master = -1;
  int m_slave = -1;
  QString m_slavePath;
  QSocketNotifier* m_notifier = nullptr;
};

}  // namespace kv6::sim
