#pragma once

#include <cstdint>
#include <span>

namespace kv6::link {

// The remote side of the write engine: while the TCP socket listens, every
// write job goes out as a remote 'W' frame instead of a serial frame, and the
// retry rules change. Implemented by the remote session.
class RemoteWritePath {
public:
    virtual ~RemoteWritePath() = default;
    [[nodiscard]] virtual bool listening() const = 0;
    // Sends one job as a 'W' frame to the connected module.
    virtual void sendWriteJob(std::uint16_t address, std::span<const std::uint8_t> bytes) = 0;
};

// Used while remote access is off.
class NoRemotePath final : public RemoteWritePath {
public:
    [[nodiscard]] bool listening() const override { return false; }
    void sendWriteJob(std::uint16_t, std::span<const std::uint8_t>) override {}
};

}  // namespace kv6::link
