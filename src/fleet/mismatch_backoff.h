#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fleet/fleet_store.h"

namespace kv6::fleet {

// The password back-off of a server. A module whose stored read password
// differs from the recorded one is counted against its object number, and
// against its address with a much higher limit (many modules may share one
// address behind a mobile operator's NAT); a subject that reaches its limit
// is locked out for a while, and a proven password starts the object's count
// again. Counts and lock-outs live in the store, shared by every server and
// cleared with `kv6ctl fleet lockouts --clear`; each server keeps the
// lock-outs in force at hand, read again at every refresh().
class MismatchBackoff {
public:
    struct Options {
        int objectLimit = 3;     // mismatches of one object number before it is locked out
        int addressLimit = 30;   // mismatches from one address before it is locked out (0: never)
        int seconds = 600;       // how long a lock-out lasts, and how long a count is kept
        // The time now as the store writes it ("YYYY-MM-DDTHH:MM:SSZ", UTC); empty: the system clock.
        std::function<std::string()> clock;
    };

    MismatchBackoff(FleetStore& store, Options options);
    // Without a store at hand (it is on another thread): only the two-step
    // calls below and lockedOut() are used.
    explicit MismatchBackoff(Options options);

    // Reads the lock-outs in force again (other servers', and clears).
    void refresh();
    // The same in two steps, for a store on another thread: the store's
    // part there, what it found kept here.
    [[nodiscard]] static std::vector<LockoutRecord> readLocked(FleetStore& store, int seconds);
    void replaceLocked(const std::vector<LockoutRecord>& records);
    // Until when the subject is locked out; none when it is not.
    [[nodiscard]] std::optional<std::string> lockedOut(LockoutKind kind, const std::string& subject) const;
    // One mismatch of `object` from `address`: the lock-outs it started.
    [[nodiscard]] std::vector<LockoutRecord> mismatch(const std::string& object, const std::string& address);
    // The object proved its password.
    void proved(const std::string& object);
    // One count in two steps, as readLocked(): the store's count, then what
    // it found kept here; the lock-out the count started, if it did.
    [[nodiscard]] static std::optional<LockoutRecord> countIn(FleetStore& store, LockoutKind kind,
                                                              const std::string& subject, int limit, int seconds);
    [[nodiscard]] std::optional<LockoutRecord> counted(LockoutKind kind, const std::string& subject,
                                                       const std::optional<LockoutRecord>& record);

    [[nodiscard]] const Options& options() const { return m_options; }

private:
    [[nodiscard]] std::string now() const;
    [[nodiscard]] std::optional<LockoutRecord> count(LockoutKind kind, const std::string& subject, int limit);

    FleetStore* m_store = nullptr;
    Options m_options;
    std::map<std::pair<LockoutKind, std::string>, std::string> m_locked;  // -> until
};

}  // namespace kv6::fleet
