#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "fleet/module_loop.h"

namespace kv6::fleet {

// One module connection's socket in the connections' loop (libuv). Bytes go
// out at once, as far as the kernel takes them; the rest waits in libuv's
// queue, in order. The owner hears of received bytes and of the connection's
// end through the callbacks; it may destroy the socket from either.
class ModuleSocket final {
public:
    using DataCallback = std::function<void(std::span<const std::uint8_t>)>;
    using ClosedCallback = std::function<void()>;
    // 0 once connected, else a negative errno (libuv's convention).
    using ConnectedCallback = std::function<void(int status)>;

    explicit ModuleSocket(ModuleLoop& loop);
    ~ModuleSocket();  // closes the connection if it is open
    ModuleSocket(const ModuleSocket&) = delete;
    ModuleSocket& operator=(const ModuleSocket&) = delete;

    // Takes over a connected descriptor and starts reading it; false (and
    // the descriptor closed) when libuv refuses it.
    [[nodiscard]] bool open(int descriptor, DataCallback onData, ClosedCallback onClosed);
    // Calls `address` (for clients of a module server: the simulated modules).
    // `onConnected` hears how the call went; once connected, the socket reads
    // as one that was opened. False (no callback) when the call cannot start.
    [[nodiscard]] bool connectTo(const sockaddr& address, ConnectedCallback onConnected, DataCallback onData,
                                 ClosedCallback onClosed);
    void write(std::span<const std::uint8_t> bytes);
    // Closes the connection now; unsent bytes are dropped and onClosed is not called.
    void abort();
    [[nodiscard]] bool isOpen() const { return m_handle != nullptr; }

private:
    struct Handle;
    static void freeHandle(uv_handle_t* handle);
    [[nodiscard]] bool startReading();
    void closed();

    ModuleLoop& m_loop;
    Handle* m_handle = nullptr;  // freed by libuv's close callback, which may come after this object is gone
    DataCallback m_onData;
    ClosedCallback m_onClosed;
    ConnectedCallback m_onConnected;
};

}  // namespace kv6::fleet
