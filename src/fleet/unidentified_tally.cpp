#include "fleet/unidentified_tally.h"

namespace kv6::fleet {

bool UnidentifiedTally::admits(const std::string& address) const {
    return address.empty() || m_limits.perAddress <= 0 || from(address) < m_limits.perAddress;
}

void UnidentifiedTally::add(const std::string& address) {
    ++m_total;
    if (!address.empty()) ++m_byAddress[address];
}

void UnidentifiedTally::remove(const std::string& address) {
    if (m_total > 0) --m_total;
    if (address.empty()) return;
    const auto it = m_byAddress.find(address);
    if (it == m_byAddress.end()) return;
    if (--it->second <= 0) m_byAddress.erase(it);
}

int UnidentifiedTally::from(const std::string& address) const {
    const auto it = m_byAddress.find(address);
    return it == m_byAddress.end() ? 0 : it->second;
}

}  // namespace kv6::fleet
