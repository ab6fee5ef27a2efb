#include "operator_api.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>

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

// How long a request waits for the fleet server to publish its state before
// it takes the last one: the server is never waited on for longer.
constexpr auto kFreshStateWait = std::chrono::milliseconds(500);

}  // namespace

OperatorApi::OperatorApi(std::unique_ptr<fleet::SqlFleetStore> store, fleet::FleetServer& server,
                         const DaemonOptions& options)
    : m_store(std::move(store)),
      m_server(&server),
      m_snapshot(server.snapshot()),
      m_options(options),
      m_worker(std::make_unique<QObject>()) {
    m_thread.setObjectName(QStringLiteral("api"));
    m_worker->moveToThread(&m_thread);
}

OperatorApi::~OperatorApi() {
    if (m_thread.isRunning()) {
        // Its objects and the store's connection end on the thread they belong to.
        QMetaObject::invokeMethod(
            m_worker.get(),
            [this] {
                m_http.reset();
                m_service.reset();
                m_store.reset();
                m_thread.quit();
            },
            Qt::BlockingQueuedConnection);
        m_thread.wait();
    }
    m_worker.reset();
}

bool OperatorApi::start(QString& error) {
    m_thread.start();
    bool started = false;
    QMetaObject::invokeMethod(
        m_worker.get(), [this, &started, &error] { started = startHere(error); }, Qt::BlockingQueuedConnection);
    return started;
}

bool OperatorApi::startHere(QString& error) {
    if (std::string why; !m_store->open(why)) {
        error = QString::fromStdString(why);
        return false;
    }
    const auto listen = fleet::api::ApiListenAddress::parse(m_options.apiListen, error);
    if (!listen) return false;
    fleet::api::ApiService::Hooks hooks;
    hooks.sha256Hex = fleet::api::apiKeySha256;
    hooks.newKey = fleet::api::newApiKey;
    hooks.storeProblem = [this]() -> std::optional<std::string> {
        const auto state = serverState();
        if (state->storeReachable) return std::nullopt;
        return state->storeProblem;
    };
    hooks.health = [this] {
        const auto state = serverState();
        return std::pair(state->healthy, state->health);
    };
    hooks.metrics = [this] { return serverMetrics(); };
    hooks.log = [](const std::string& line) { qInfo("%s", line.c_str()); };
    hooks.openMetrics = listen->loopback();
    m_service = std::make_unique<fleet::api::ApiService>(*m_store, std::move(hooks));
    m_http = std::make_unique<fleet::api::ApiHttpServer>(*m_service);
    if (!m_options.tlsCert.isEmpty() && !m_http->useTls(m_options.tlsCert, m_options.tlsKey, error)) return false;
    if (!m_http->listenOn(listen->address, listen->port, error)) return false;
    m_host = listen->address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + listen->address.toString() + "]"
                                                                         : listen->address.toString();
    m_url = QStringLiteral("%1://%2:%3").arg(m_http->tls() ? "https" : "http", m_host).arg(m_http->port());
    return true;
}

QString OperatorApi::url() const { return m_url; }

std::shared_ptr<const fleet::ServerState> OperatorApi::serverState() const {
    auto published = std::make_shared<std::promise<void>>();
    std::future<void> done = published->get_future();
    // The server outlives this thread (it is stopped first): the pointer is only handed over, not used, here.
    QMetaObject::invokeMethod(
        m_server.data(),
        [server = m_server.data(), published] {
            server->publish();
            published->set_value();
        },
        Qt::QueuedConnection);
    (void)done.wait_for(kFreshStateWait);
    return m_snapshot.latest();
}

std::string OperatorApi::serverMetrics() const {
    const auto state = serverState();
    std::string text;
    const auto gauge = [&](const char* name, const char* help, long long value) {
        text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n" + name + " " +
                std::to_string(value) + "\n";
    };
    gauge("kv6_connected_modules", "Module connections this server holds.", state->connections);
    gauge("kv6_store_up", "1 while this server reaches its store, 0 while it does not.", state->storeReachable ? 1 : 0);
    gauge("kv6_open_fds", "File descriptors this server has open.", openDescriptors());
    const auto counter = [&](const char* name, const char* help, long long value) {
        text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " counter\n" + name + " " +
                std::to_string(value) + "\n";
    };
    counter("kv6_password_mismatches_total", "Modules whose read password differed from the recorded one.",
            state->passwordMismatches);
    counter("kv6_refused_locked_out_total", "Connections refused while their object or address was locked out.",
            state->refusedLockedOut);
    counter("kv6_store_errors_total", "Changes the store did not keep.", state->storeFailures);
    text += "# HELP kv6_job_duration_seconds Jobs from their claim to their end, by kind.\n"
            "# TYPE kv6_job_duration_seconds histogram\n";
    for (const auto& [kind, times] : state->jobSeconds)
        text += times.series("kv6_job_duration_seconds", "kind=\"" + kind + "\"");
    if (state->statementTimes) {
        text += "# HELP kv6_store_statement_seconds The store's statements, from their start to their answer.\n"
                "# TYPE kv6_store_statement_seconds histogram\n";
        text += state->statementTimes->series("kv6_store_statement_seconds", "");
    }
    return text;
}

}  // namespace kv6::daemon
