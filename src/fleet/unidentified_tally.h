#pragma once

#include <map>
#include <string>

namespace kv6::fleet {

// Connections that have not identified themselves yet, in all and per
// address. A peer that opens connections and says nothing holds a file
// descriptor each until its identification time-out: the limits keep room
// for the modules. (A connection whose address is not known yet, one
// waiting for its PROXY header, counts in the total only.)
class UnidentifiedTally {
public:
    struct Limits {
        int total = 1024;      // 0: no limit
        int perAddress = 128;  // 0: no limit
    };

    explicit UnidentifiedTally(Limits limits) : m_limits(limits) {}

    // Whether one more connection from `address` stays within its limit.
    [[nodiscard]] bool admits(const std::string& address) const;
    void add(const std::string& address);
    void remove(const std::string& address);
    // The total is at its limit: accept no more for now.
    [[nodiscard]] bool full() const { return m_limits.total > 0 && m_total >= m_limits.total; }
    [[nodiscard]] int total() const { return m_total; }
    [[nodiscard]] int from(const std::string& address) const;
    [[nodiscard]] const Limits& limits() const { return m_limits; }

private:
    Limits m_limits;
    int m_total = 0;
    std::map<std::string, int> m_byAddress;
};

}  // namespace kv6::fleet
