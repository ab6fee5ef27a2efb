#include "fleet/mismatch_backoff.h"

#include <ctime>

namespace kv6::fleet {

namespace {

std::string systemNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace

MismatchBackoff::MismatchBackoff(FleetStore& store, Options options) : m_store(&store), m_options(std::move(options)) {}

MismatchBackoff::MismatchBackoff(Options options) : m_options(std::move(options)) {}

std::string MismatchBackoff::now() const { return m_options.clock ? m_options.clock() : systemNow(); }

void MismatchBackoff::refresh() {
    if (m_store) replaceLocked(readLocked(*m_store, m_options.seconds));
}

std::vector<LockoutRecord> MismatchBackoff::readLocked(FleetStore& store, int seconds) {
    store.expireLockouts(seconds);
    return store.lockouts(true);
}

void MismatchBackoff::replaceLocked(const std::vector<LockoutRecord>& records) {
    m_locked.clear();
    for (const LockoutRecord& record : records) m_locked[{record.kind, record.subject}] = record.lockedUntil;
}

std::optional<std::string> MismatchBackoff::lockedOut(LockoutKind kind, const std::string& subject) const {
    const auto it = m_locked.find({kind, subject});
    // The texts compare as the times they name.
    if (it == m_locked.end() || it->second <= now()) return std::nullopt;
    return it->second;
}

std::optional<LockoutRecord> MismatchBackoff::count(LockoutKind kind, const std::string& subject, int limit) {
    if (!m_store) return std::nullopt;
    return counted(kind, subject, countIn(*m_store, kind, subject, limit, m_options.seconds));
}

std::optional<LockoutRecord> MismatchBackoff::countIn(FleetStore& store, LockoutKind kind, const std::string& subject,
                                                      int limit, int seconds) {
    return store.countMismatch(kind, subject, limit, seconds);
}

std::optional<LockoutRecord> MismatchBackoff::counted(LockoutKind kind, const std::string& subject,
                                                      const std::optional<LockoutRecord>& record) {
    const bool wasLocked = lockedOut(kind, subject).has_value();
    if (!record || record->lockedUntil.empty()) return std::nullopt;
    m_locked[{kind, subject}] = record->lockedUntil;
    if (wasLocked) return std::nullopt;
    return record;
}

std::vector<LockoutRecord> MismatchBackoff::mismatch(const std::string& object, const std::string& address) {
    std::vector<LockoutRecord> started;
    if (auto record = count(LockoutKind::Object, object, m_options.objectLimit)) started.push_back(*record);
    if (m_options.addressLimit > 0)
        if (auto record = count(LockoutKind::Address, address, m_options.addressLimit)) started.push_back(*record);
    return started;
}

void MismatchBackoff::proved(const std::string& object) {
    if (m_store) m_store->clearMismatches(object);
}

}  // namespace kv6::fleet
