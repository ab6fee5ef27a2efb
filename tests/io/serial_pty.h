#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "common/prompts.h"
#include "support/scripted_prompts.h"
#include "common/status_sink.h"
#include "support/core_app.h"

namespace kv6::io::test {

// One application object for the whole test binary.
inline QCoreApplication& ensureApp() {
    return kv6::test::coreApp();
}

// The master side of a pseudo-terminal; the code under test opens the slave path.
class PtyMaster {
public:
    PtyMaster() {
        m_fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd >= 0 && grantpt(m_fd) == 0 && unlockpt(m_fd) == 0) m_slave = QString::fromLocal8Bit(ptsname(m_fd));
    }
    ~PtyMaster() {
        if (m_fd >= 0) ::close(m_fd);
    }
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;

    [[nodiscard]] QString slavePath() const { return m_slave; }
    [[nodiscard]] QByteArray readAvailable() const {
        QByteArray all;
        char buffer[512];
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) all.append(buffer, n);
        return all;
    }
    void write(const QByteArray& bytes) const { (void)!::write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())); }

private:
    int m_fd = -1;
    QString m_slave;
};

// Runs the event loop until `done` holds or `ms` pass.
inline bool processUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

using kv6::test::ScriptedPrompts;

struct PanelStatus final : StatusSink {
    std::string port, operation;
    void setStatus(StatusPanel panel, const std::string& text) override {
        (panel == StatusPanel::Port ? port : operation) = text;
    }
};

}  // namespace kv6::io::test
