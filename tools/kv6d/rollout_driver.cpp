#include "rollout_driver.h"

#include <QtGlobal>

namespace kv6::daemon {

RolloutDriver::RolloutDriver(fleet::FleetStore& store, int seconds, std::function<bool()> usable)
    : m_store(store), m_usable(std::move(usable)) {
    m_timer.setInterval(seconds * 1000);
    connect(&m_timer, &QTimer::timeout, this, &RolloutDriver::pass);
}

void RolloutDriver::start() { m_timer.start(); }

void RolloutDriver::pass() {
    if (m_usable && !m_usable()) return;
    const auto events = m_store.advanceRollouts();
    if (!events) {
        qWarning("rollouts: the store could not move them on: %s", m_store.lastError().c_str());
        return;
    }
    for (const fleet::RolloutEvent& event : *events) {
        const QByteArray line = QStringLiteral("rollout %1 '%2': %3")
                                    .arg(event.id)
                                    .arg(QString::fromStdString(event.name), QString::fromStdString(event.what))
                                    .toUtf8();
        if (event.halted)
            qWarning("%s", line.constData());
        else
            qInfo("%s", line.constData());
    }
}

}  // namespace kv6::daemon
