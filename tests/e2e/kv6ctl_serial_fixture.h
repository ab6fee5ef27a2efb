#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

#include "image/image.h"
#include "support/core_app.h"

namespace kv6::e2e {

inline QCoreApplication& e2eApp() {
    return kv6::test::coreApp();
}

// kv6sim --serial on a pseudo-terminal, stopped with SIGTERM (which saves --save).
class SerialSimulator {
public:
    explicit SerialSimulator(const QStringList& options) {
        e2eApp();
        m_process.setProgram(QStringLiteral(KV6SIM_PATH));
        m_process.setArguments(QStringList{"--serial"} + options);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(5000)) return;
        while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
        }
        m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~SerialSimulator() { stop(); }
    SerialSimulator(const SerialSimulator&) = delete;
    SerialSimulator& operator=(const SerialSimulator&) = delete;

    [[nodiscard]] QString device() const { return m_device; }
    // With --verbose: waits until the simulator's log holds `needle` (or `ms` pass).
    bool logContains(const QByteArray& needle, int ms) {
        QElapsedTimer clock;
        clock.start();
        while (!(m_log += m_process.readAllStandardError()).contains(needle) && clock.elapsed() < ms)
            m_process.waitForReadyRead(50);
        return m_log.contains(needle);
    }
    void stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) m_process.kill();
        m_process.waitForFinished(2000);
    }

private:
    QProcess m_process;
    QString m_device;
    QByteArray m_log;
};

struct CtlResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs kv6ctl to its end (or kills it after `timeoutMs`); exit code -1 when it
// crashed or timed out. `workingDirectory` empty: the test's own.
inline CtlResult runCtl(const QStringList& args, int timeoutMs = 120000, const QString& workingDirectory = {}) {
    e2eApp();
    QProcess ctl;
    if (!workingDirectory.isEmpty()) ctl.setWorkingDirectory(workingDirectory);
    ctl.start(QStringLiteral(KV6CTL_PATH), args);
    CtlResult result;
    if (!ctl.waitForFinished(timeoutMs)) {
        ctl.kill();
        ctl.waitForFinished();
        return result;
    }
    result.exitCode = ctl.exitStatus() == QProcess::NormalExit ? ctl.exitCode() : -1;
    result.out = QString::fromUtf8(ctl.readAllStandardOutput());
    result.err = QString::fromUtf8(ctl.readAllStandardError());
    return result;
}

inline image::Image randomImage(unsigned seed) {
    std::mt19937 random(seed);
    image::Image image{};
    for (auto& b : image) b = static_cast<std::uint8_t>(random());
    return image;
}

inline void writeFile(const QString& path, const image::Image& image) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace kv6::e2e
