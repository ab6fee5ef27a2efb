#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "fleet/store_thread.h"

namespace kv6::daemon {

// Moves the running rollouts on, one store call a pass: halts a wave that
// failed beyond its limit, starts the next once the last one ended. Every
// decision is the store's, in a transaction, so that several servers on one
// store may all drive without starting a wave twice. The pass runs on the
// store's thread; one pass at a time.
class RolloutDriver final : public QObject {
    Q_OBJECT
public:
    // `usable`: whether the server reaches its store now (no pass while not).
    RolloutDriver(fleet::StoreThread& store, int seconds, std::function<bool()> usable);
    void start();

private:
    void pass();

    fleet::StoreThread& m_store;
    std::function<bool()> m_usable;
    QTimer m_timer;
    bool m_passing = false;
};

}  // namespace kv6::daemon
