#include "process/log_handler.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QDateTime>
#include <cerrno>
#include <cstdlib>

namespace kv6::process {

LogHandler* LogHandler::s_installed = nullptr;

namespace {

LogLevel levelOf(QtMsgType type) {
    switch (type) {
        case QtDebugMsg:
            return LogLevel::Debug;
        case QtInfoMsg:
            return LogLevel::Info;
        case QtWarningMsg:
            return LogLevel::Warning;
        case QtCriticalMsg:
            return LogLevel::Error;
        case QtFatalMsg:
            return LogLevel::Fatal;
    }
    return LogLevel::Info;
}

}  // namespace

LogHandler::LogHandler(LogStyle style, int fd, QObject* parent)
    : QObject(parent), m_style(std::move(style)), m_fd(fd) {
    m_style.journal = journalStream(fd);
    m_clock.start();
    connect(&m_timer, &QTimer::timeout, this, &LogHandler::tick);
    m_timer.start(kTickMs);
    m_previousHandler = s_installed;
    s_installed = this;
    m_previous = qInstallMessageHandler(&LogHandler::handle);
}

LogHandler::~LogHandler() {
    qInstallMessageHandler(m_previous);
    s_installed = m_previousHandler;
    const std::lock_guard lock(m_mutex);
    write(m_folder.flush());
}

bool LogHandler::journalStream(int fd) {
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const qsizetype colon = stream.indexOf(':');
    if (colon <= 0) return false;
    bool devOk = false;
    bool inodeOk = false;
    const qulonglong device = stream.left(colon).toULongLong(&devOk);
    const qulonglong inode = stream.mid(colon + 1).toULongLong(&inodeOk);
    struct stat st {};
    if (!devOk || !inodeOk || ::fstat(fd, &st) != 0) return false;
    // A program started from a service inherits the variable with other streams.
    return static_cast<qulonglong>(st.st_dev) == device &&
           static_cast<qulonglong>(st.st_ino) == inode;
}

void LogHandler::handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (LogHandler* handler = s_installed) handler->take(levelOf(type), context.category, message);
}

void LogHandler::take(LogLevel level, const char* category, const QString& message) {
    LogEntry entry{level, category ? category : "default", message.toStdString()};
    const std::lock_guard lock(m_mutex);
    if (level == LogLevel::Fatal) {
        // The program ends after this line: what was counted goes first.
        write(m_folder.flush());
        write({entry});
        return;
    }
    write(m_folder.add(entry, now()));
}

void LogHandler::tick() {
    const std::lock_guard lock(m_mutex);
    write(m_folder.tick(now()));
}

void LogHandler::write(const std::vector<LogEntry>& entries) {
    if (entries.empty()) return;
    const std::string time =
        m_style.journal ? std::string()
                        : QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
    for (const LogEntry& entry : entries) {
        const std::string line = formatLogLine(entry, m_style, time);
        // One write per line: lines of several threads or processes on one stream stay whole.
        std::size_t done = 0;
        while (done < line.size()) {
            const ssize_t n = ::write(m_fd, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
    }
}

}  // namespace kv6::process
