#pragma once

#include <QObject>

class QSocketNotifier;

namespace kv6::process {

// SIGINT, SIGTERM and SIGHUP as a Qt signal, through a signalfd: a program
// stops (and saves what it must) as ordinary code on the event loop, not in a
// handler. blockSignals() runs in main before any thread exists.
class TerminationWatcher final : public QObject {
    Q_OBJECT
public:
    static void blockSignals();
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

    [[nodiscard]] bool isValid() const { return m_fd >= 0; }

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace kv6::process
