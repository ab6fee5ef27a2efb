#include "operator_api.h"

#include <filesystem>
#include <cstdio>

#include "fleet/api/api_key_text.h"
#include "fleet/api/api_listen_address.h"

namespace kv6::daemon {

namespace {

// What /proc lists, less the descriptor that reads the list.
int openDescriptors() {
    std::error_code error;
    int count = 0;
    for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end; it.increment(error))
        ++count;
    return count > 0 ? count - 1 : 0;
}

}  // namespace

OperatorApi::OperatorApi(fleet::FleetStore& store, const fleet::FleetServer& server, const DaemonOptions& options)
    : m_store(store), m_server(server), m_options(options) {
    QString ignored;
    const auto listen = fleet::api::ApiListenAddress::parse(options.apiListen, ignored);
    fleet::api::ApiService::Hooks hooks;
    hooks.sha256Hex = fleet::api::apiKeySha256;
    hooks.newKey = fleet::api::newApiKey;
    hooks.storeProblem = [this]() -> std::optional<std::string> {
        if (m_server.storeReachable()) return std::nullopt;
        return m_server.storeProblem().toStdString();
    };
    hooks.health = [this] {
        const auto [up, text] = m_server.healthAnswer();
        return std::pair(up, text.toStdString());
    };
    hooks.metrics = [this] { return serverMetrics(); };
    hooks.log = [](const std::string& line) { qInfo("%s", line.c_str()); };
    hooks.openMetrics = listen && listen->loopback();
    m_service = std::make_unique<fleet::api::ApiService>(store, std::move(hooks));
    m_http = std::make_unique<fleet::api::ApiHttpServer>(*m_service);
}

bool OperatorApi::start(QString& error) {
    const auto listen = fleet::api::ApiListenAddress::parse(m_options.apiListen, error);
    if (!listen) return false;
    if (!m_options.tlsCert.isEmpty() && !m_http->useTls(m_options.tlsCert, m_options.tlsKey, error)) return false;
    if (!m_http->listenOn(listen->address, listen->port, error)) return false;
    m_host = listen->address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + listen->address.toString() + "]"
                                                                         : listen->address.toString();
    return true;
}

QString OperatorApi::url() const {
    return QStringLiteral("%1://%2:%3").arg(m_http->tls() ? "https" : "http", m_host).arg(m_http->port());
}

std::string OperatorApi::serverMetrics() const {
    std::string text;
    const auto gauge = [&](const char* name, const char* help, long long value) {
        text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n" + name + " " +
                std::to_string(value) + "\n";
    };
    gauge("kv6_connected_modules", "Module connections this server holds.", m_server.connectionCount());
    gauge("kv6_store_up", "1 while this server reaches its store, 0 while it does not.",
          m_server.storeReachable() ? 1 : 0);
    gauge("kv6_open_fds", "File descriptors this server has open.", openDescriptors());
    const auto counter = [&](const char* name, const char* help, long long value) {
        text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " counter\n" + name + " " +
                std::to_string(value) + "\n";
    };
    const fleet::FleetServer::Counters& counted = m_server.counters();
    counter("kv6_password_mismatches_total", "Modules whose read password differed from the recorded one.",
            counted.passwordMismatches);
    counter("kv6_refused_locked_out_total", "Connections refused while their object or address was locked out.",
            counted.refusedLockedOut);
    counter("kv6_store_errors_total", "Changes the store did not keep.", counted.storeFailures);
    text += "# HELP kv6_job_duration_seconds Jobs from their claim to their end, by kind.\n"
            "# TYPE kv6_job_duration_seconds histogram\n";
    for (const auto& [kind, times] : counted.jobSeconds) text += times.series("kv6_job_duration_seconds", "kind=\"" + kind + "\"");
    if (const fleet::DurationHistogram* statements = m_store.statementTimes()) {
        text += "# HELP kv6_store_statement_seconds The store's statements, from their start to their answer.\n"
                "# TYPE kv6_store_statement_seconds histogram\n";
        text += statements->series("kv6_store_statement_seconds", "");
    }
    return text;
}

}  // namespace kv6::daemon
