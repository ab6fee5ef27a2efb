#include "ctl_session.h"

#include "module_wait.h"

#include <QTimer>
#include <cstdio>

#include "ctl_time_zone.h"

namespace kv6::ctl {

CtlSession::CtlSession(const CtlOptions& options)
    : console(options.trace), configuration(&console), link(configuration, console, console, console),
      m_options(options) {
    applyRunTimeZone(configuration);
    link.setTimeZoneHoursProvider([this] { return configuration.settings.zoneHours(); });
    link.setPacing(options.pace);
}

// The tick that ends a command may have sent a frame (a completed read also
// sends the request for address 2000): it must reach the port before exit.
CtlSession::~CtlSession() { link.flush(kFlushMs); }

int CtlSession::prepareLink() {
    if (!m_options.remote) {
        link.setPort(m_options.port);
        return 0;
    }
    if (!link.startListening(m_options.listenPort)) {
        console.endLine();
        std::fputs("kv6ctl: cannot listen for the module\n", stderr);
        return 1;
    }
    const int waitSeconds = m_options.waitSeconds > 0 ? m_options.waitSeconds : kDefaultWaitSeconds;
    std::fprintf(stderr, "kv6ctl: waiting for the module on TCP port %u (at most %d s)\n",
                 static_cast<unsigned>(link.listeningPort()), waitSeconds);
    // Frames carry the module's object number: nothing goes out before the
    // module has identified itself (or had its time to do so).
    const ModuleWait::Outcome outcome = ModuleWait(link, kIdentificationWaitMs).run(waitSeconds * 1000);
    if (outcome != ModuleWait::Outcome::Ready) {
        console.endLine();
        std::fprintf(stderr, outcome == ModuleWait::Outcome::NoConnection
                                 ? "kv6ctl: no module connected within %d s\n"
                                 : "kv6ctl: the connected module did not identify itself within %d s\n",
                     waitSeconds);
        return 1;
    }
    return 0;
}

int CtlSession::ensureLink() {
    if (const int code = prepareLink()) return code;
    return link.ensureLink() ? 0 : 1;
}

void CtlSession::finish(int exitCode) {
    if (m_exitCode >= 0) return;
    m_exitCode = exitCode;
    m_loop.quit();
}

int CtlSession::run(int timeoutMs, const QString& timeoutText) {
    if (m_exitCode < 0) {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &m_loop, [this, &timeoutText] {
            console.endLine();
            if (!timeoutText.isEmpty()) std::fprintf(stderr, "kv6ctl: %s\n", qPrintable(timeoutText));
            finish(1);
        });
        guard.start(timeoutMs);
        m_loop.exec();
    }
    console.endLine();
    return m_exitCode;
}

}  // namespace kv6::ctl
