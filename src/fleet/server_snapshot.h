#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "fleet/duration_histogram.h"

namespace kv6::fleet {

// What a fleet server shows of itself to its operator API and health checks.
struct ServerState {
    bool storeReachable = true;
    std::string storeProblem;  // why the store is not usable; empty while it is
    bool healthy = true;       // the health check's verdict
    std::string health;        // and its text ("up\nconnections 3\n")
    int connections = 0;
    long long passwordMismatches = 0;
    long long refusedLockedOut = 0;
    long long storeFailures = 0;
    std::map<std::string, DurationHistogram> jobSeconds;  // by the job's kind
    std::optional<DurationHistogram> statementTimes;
};

// The server's state as last published, for readers on other threads: a
// reader takes a whole state, never one half written, and never waits on
// the server's work.
class ServerSnapshot {
public:
    void publish(ServerState state);
    [[nodiscard]] std::shared_ptr<const ServerState> latest() const;

private:
    mutable std::mutex m_mutex;  // held only to swap or copy the pointer
    std::shared_ptr<const ServerState> m_state = std::make_shared<const ServerState>();
};

}  // namespace kv6::fleet
