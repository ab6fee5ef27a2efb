#include "fleet/module_loop.h"

#include <QSocketNotifier>
#include <csignal>
#include <stdexcept>
#include <string>

namespace kv6::fleet {

ModuleLoop::ModuleLoop(QObject* parent)
    : QObject(parent), m_readBuffer(std::make_unique<std::array<std::uint8_t, kReadBufferSize>>()) {
    if (const int error = uv_loop_init(&m_loop); error != 0)
        throw std::runtime_error(std::string("cannot start the connections' event loop: ") + uv_strerror(error));
    m_loop.data = this;
    // libuv writes with write(2): a module that hung up would end the whole
    // process with SIGPIPE; ignored, the write fails with EPIPE instead.
    std::signal(SIGPIPE, SIG_IGN);
    m_notifier = std::make_unique<QSocketNotifier>(uv_backend_fd(&m_loop), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ModuleLoop::run);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ModuleLoop::run);
}

ModuleLoop::~ModuleLoop() {
    m_notifier.reset();
    // Every socket was closed by its owner; their close callbacks free them now.
    uv_run(&m_loop, UV_RUN_NOWAIT);
    uv_walk(
        &m_loop,
        [](uv_handle_t* handle, void*) {
            if (!uv_is_closing(handle)) uv_close(handle, nullptr);
        },
        nullptr);
    uv_run(&m_loop, UV_RUN_DEFAULT);
    (void)uv_loop_close(&m_loop);
}

void ModuleLoop::kick() {
    // Also from within a turn: libuv takes watchers changed in its callbacks
    // only at its next turn.
    if (m_kicked) return;
    m_kicked = true;
    QMetaObject::invokeMethod(this, &ModuleLoop::run, Qt::QueuedConnection);
}

void ModuleLoop::run() {
    m_kicked = false;
    if (m_running) return;  // never inside libuv's own callbacks
    m_running = true;
    ++m_turns;
    uv_run(&m_loop, UV_RUN_NOWAIT);
    m_running = false;
    // Closed handles and pending callbacks are libuv's work for its next
    // turn. A loop with no socket at all also says 0 ("do not wait"): it has
    // nothing to do until a socket is opened, which kicks it.
    const int timeout = uv_backend_timeout(&m_loop);
    if (!uv_loop_alive(&m_loop))
        m_timer.stop();
    else if (timeout == 0)
        kick();
    else if (timeout > 0)
        m_timer.start(timeout);
    else
        m_timer.stop();
}

}  // namespace kv6::fleet
