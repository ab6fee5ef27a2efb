#include "fleet/server_snapshot.h"

namespace kv6::fleet {

void ServerSnapshot::publish(ServerState state) {
    auto next = std::make_shared<const ServerState>(std::move(state));
    const std::lock_guard lock(m_mutex);
    m_state = std::move(next);
}

std::shared_ptr<const ServerState> ServerSnapshot::latest() const {
    const std::lock_guard lock(m_mutex);
    return m_state;
}

}  // namespace kv6::fleet
