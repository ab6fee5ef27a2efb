#include "module_wait.h"

#include <QEventLoop>
#include <QTimer>

#include "io/module_link.h"

namespace kv6::ctl {

ModuleWait::ModuleWait(io::ModuleLink& link, int identificationMs) : m_link(link), m_identificationMs(identificationMs) {}

ModuleWait::Outcome ModuleWait::run(int overallMs) {
    QEventLoop loop;
    QTimer overall;
    QTimer grace;  // from the moment the current module connected
    overall.setSingleShot(true);
    grace.setSingleShot(true);
    bool ready = false;
    const auto finish = [&](bool isReady) {
        ready = isReady;
        loop.quit();
    };
    QObject::connect(&overall, &QTimer::timeout, &loop, [&] { finish(false); });
    QObject::connect(&grace, &QTimer::timeout, &loop, [&] {
        if (m_link.remoteConnected()) finish(true);
    });
    QObject::connect(&m_link, &io::ModuleLink::remoteConnectedChanged, &loop, [&](bool connected) {
        if (connected)
            grace.start(m_identificationMs);
        else
            grace.stop();  // closed before it could take commands: wait for the next one
    });
    QObject::connect(&m_link, &io::ModuleLink::remoteIdentified, &loop, [&] {
        if (m_link.remoteConnected()) finish(true);
    });
    if (m_link.remoteConnected()) grace.start(m_identificationMs);
    overall.start(overallMs);
    loop.exec();
    if (ready) return Outcome::Ready;
    return m_link.remoteConnected() ? Outcome::NotIdentified : Outcome::NoConnection;
}

}  // namespace kv6::ctl
