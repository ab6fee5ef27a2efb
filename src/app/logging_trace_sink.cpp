#include "app/logging_trace_sink.h"

#include <QLoggingCategory>

namespace kv6::app {

namespace {
Q_LOGGING_CATEGORY(kLinkCategory, "kv6.link", QtInfoMsg)
Q_LOGGING_CATEGORY(kRemoteCategory, "kv6.remote", QtInfoMsg)
Q_LOGGING_CATEGORY(kImageCategory, "kv6.image", QtInfoMsg)

const QLoggingCategory& category(TraceChannel channel) {
    switch (channel) {
        case TraceChannel::Remote: return kRemoteCategory();
        case TraceChannel::Image: return kImageCategory();
        case TraceChannel::Link: break;
    }
    return kLinkCategory();
}
}  // namespace

bool LoggingTraceSink::tracing(TraceChannel channel) const { return category(channel).isDebugEnabled(); }

void LoggingTraceSink::trace(TraceChannel channel, const std::string& line) {
    qCDebug(category(channel)).noquote() << QString::fromStdString(line);
}

}  // namespace kv6::app
