#include "rollout_driver.h"

#include <QtGlobal>

namespace kv6::daemon {

RolloutDriver::RolloutDriver(fleet::StoreThread& store, int seconds, std::function<bool()> usable)
    : m_store(store), m_usable(std::move(usable)) {
    m_timer.setInterval(seconds * 1000);
    connect(&m_timer, &QTimer::timeout, this, &RolloutDriver::pass);
}

void RolloutDriver::start() { m_timer.start(); }

void RolloutDriver::pass() {
    if (m_passing || (m_usable && !m_usable())) return;
    struct Passed {
        std::optional<std::vector<fleet::RolloutEvent>> events;
        std::string error;
    };
    const bool posted = m_store.post(
        [](fleet::FleetStore& store) {
            Passed passed;
            passed.events = store.advanceRollouts();
            if (!passed.events) passed.error = store.lastError();
            return passed;
        },
        this,
        [this](const Passed& passed) {
            m_passing = false;
            if (!passed.events) {
                qWarning("rollouts: the store could not move them on: %s", passed.error.c_str());
                return;
            }
            for (const fleet::RolloutEvent& event : *passed.events) {
                const QByteArray line = QStringLiteral("rollout %1 '%2': %3")
                                            .arg(event.id)
                                            .arg(QString::fromStdString(event.name), QString::fromStdString(event.what))
                                            .toUtf8();
                if (event.halted)
                    qWarning("%s", line.constData());
                else
                    qInfo("%s", line.constData());
            }
        });
    // A full queue: the store is busy with the modules; the next pass tries again.
    m_passing = posted;
}

}  // namespace kv6::daemon
