#include "ctl_session.h"

#include <QTimer>
#include <cstdio>

namespace kv6::ctl {

CtlSession::CtlSession(const CtlOptions& options)
    : console(options.trace), configuration(&console), link(configuration, console, console, console),
      m_options(options) {}

int CtlSession::prepareLink() {
    if (m_options.remote) {
        // The remote session plugs in here: listen on m_options.listenPort and
        // wait up to m_options.waitSeconds for the module to connect.
        std::fputs("kv6ctl: remote access is not available yet\n", stderr);
        return 2;
    }
    link.setPort(m_options.port);
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
