#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QtGlobal>
#include <mutex>
#include <vector>

#include "process/log_line.h"
#include "process/repeat_folder.h"

namespace kv6::process {

// A headless program's log: every Qt message (qInfo, qCWarning, ...) becomes
// one line on `fd` in the LogStyle's shape, repeated failures folded by a
// RepeatFolder. Under systemd (JOURNAL_STREAM names the very stream open on
// `fd`) the lines take journald's shape. Installed for its lifetime; from
// any thread.
class LogHandler final : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 1000;  // how often folded repeats are checked for a summary

    explicit LogHandler(LogStyle style, int fd = 2, QObject* parent = nullptr);
    ~LogHandler() override;  // writes what is still counted
    LogHandler(const LogHandler&) = delete;
    LogHandler& operator=(const LogHandler&) = delete;

    [[nodiscard]] bool journal() const { return m_style.journal; }
    // Whether JOURNAL_STREAM ("DEVICE:INODE", set by systemd) names the stream open on `fd`.
    [[nodiscard]] static bool journalStream(int fd);

private:
    // qInstallMessageHandler takes a plain function: it finds the handler here.
    static LogHandler* s_installed;
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message);
    void take(LogLevel level, const char* category, const QString& message);
    void tick();
    // Under m_mutex.
    void write(const std::vector<LogEntry>& entries);
    [[nodiscard]] RepeatFolder::Ms now() const { return RepeatFolder::Ms(m_clock.elapsed()); }

    LogStyle m_style;
    int m_fd;
    std::mutex m_mutex;
    RepeatFolder m_folder;
    QElapsedTimer m_clock;
    QTimer m_timer;
    LogHandler* m_previousHandler = nullptr;
    QtMessageHandler m_previous = nullptr;
};

}  // namespace kv6::process
