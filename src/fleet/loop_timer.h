#pragma once

#include <cstdint>
#include <functional>

#include "fleet/module_loop.h"

namespace kv6::fleet {

// A one-shot timer in the connections' loop (libuv's heap of deadlines).
// Thousands of them cost nothing per start and stop, where each of Qt's
// timers is found by a walk through the thread's whole list of timers.
// The callback may destroy the timer.
class LoopTimer final {
public:
    LoopTimer(ModuleLoop& loop, std::function<void()> onTimeout);
    ~LoopTimer();
    LoopTimer(const LoopTimer&) = delete;
    LoopTimer& operator=(const LoopTimer&) = delete;

    // (Re)arms the timer to fire once, `ms` from now.
    void start(std::int64_t ms);
    void stop();
    [[nodiscard]] bool isActive() const;

private:
    struct Handle;

    ModuleLoop& m_loop;
    Handle* m_handle;  // freed by libuv's close callback, which may come after this object is gone
    std::function<void()> m_onTimeout;
};

}  // namespace kv6::fleet
