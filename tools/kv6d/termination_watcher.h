#pragma once

#include <QObject>

class QSocketNotifier;

namespace kv6::daemon {

// SIGINT and SIGTERM as a Qt signal, through a signalfd: the shutdown runs
// as ordinary code on the event loop. blockSignals() runs in main before
// any thread exists.
class TerminationWatcher final : public QObject {
    Q_OBJECT
public:
    static void blockSignals();
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace kv6::daemon
