#include "ctl_session.h"

#include "module_wait.h"

#include <QSerialPortInfo>
#include <QTimer>
#include <cstdio>

#include "ctl_time_zone.h"

namespace kv6::ctl {

CtlSession::CtlSession(const CtlOptions& options)
    : console(options.trace), configuration(&console), link(configuration, console, console, portBoxes, console),
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
        return link.OpenPort() ? 0 : portFailed();
    }
    if (!link.startListening(m_options.listenPort)) {
        console.endLine();
        std::fprintf(stderr, "kv6ctl: cannot listen for the module on TCP port %u: %s\n",
                     static_cast<unsigned>(m_options.listenPort), qPrintable(link.listenError()));
        return kExitNoLink;
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
    return link.ensureLink() ? 0 : portFailed();
}

int CtlSession::portFailed() {
    console.endLine();
    const io::PortOpenFailure failure = link.lastPortFailure().value_or(io::PortOpenFailure{m_options.port, {}, false});
    QString line = QStringLiteral("kv6ctl: cannot open the serial port %1: %2").arg(failure.device, failure.reason);
    if (failure.permission) {
        line += QStringLiteral("; only members of the dialout group may: sudo adduser $USER dialout, then log in again");
    } else {
        QStringList present;
        for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) present << port.systemLocation();
        line += present.isEmpty() ? QStringLiteral("; no serial port found here")
                                  : QStringLiteral("; serial ports here: ") + present.join(QStringLiteral(", "));
    }
    std::fprintf(stderr, "%s\n", qPrintable(line));
    return kExitNoLink;
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
