#include "fleet/loop_timer.h"

#include <algorithm>

namespace kv6::fleet {

struct LoopTimer::Handle {
    uv_timer_t timer{};
    LoopTimer* owner = nullptr;
};

LoopTimer::LoopTimer(ModuleLoop& loop, std::function<void()> onTimeout)
    : m_loop(loop), m_handle(new Handle), m_onTimeout(std::move(onTimeout)) {
    (void)uv_timer_init(loop.loop(), &m_handle->timer);  // cannot fail on an initialised loop
    m_handle->timer.data = m_handle;
    m_handle->owner = this;
}

LoopTimer::~LoopTimer() {
    m_handle->owner = nullptr;
    uv_close(reinterpret_cast<uv_handle_t*>(&m_handle->timer),
             [](uv_handle_t* handle) { delete static_cast<Handle*>(handle->data); });
    m_loop.deadlinesChanged();
}

void LoopTimer::start(std::int64_t ms) {
    // libuv counts from the time its turn began; a timer armed outside a
    // turn would otherwise count from a moment long past.
    uv_update_time(m_loop.loop());
    (void)uv_timer_start(
        &m_handle->timer,
        [](uv_timer_t* timer) {
            LoopTimer* owner = static_cast<Handle*>(timer->data)->owner;
            if (owner == nullptr) return;
            const std::function<void()> onTimeout = owner->m_onTimeout;  // the callback may destroy the timer
            if (onTimeout) onTimeout();
        },
        static_cast<std::uint64_t>(std::max<std::int64_t>(ms, 0)), 0);
    m_loop.deadlinesChanged();
}

void LoopTimer::stop() { (void)uv_timer_stop(&m_handle->timer); }

bool LoopTimer::isActive() const { return uv_is_active(reinterpret_cast<const uv_handle_t*>(&m_handle->timer)) != 0; }

}  // namespace kv6::fleet
