#pragma once

#include <QObject>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>
#include <uv.h>

class QSocketNotifier;

namespace kv6::fleet {

// The event loop of the module connections: libuv's, on epoll, run inside
// Qt's. Qt's own loop polls every socket it watches at every turn, which
// costs time per idle connection; libuv's epoll costs nothing for a socket
// with nothing to read. Qt watches only libuv's one epoll descriptor and runs
// libuv when it is readable (and when libuv's own work is due), so thousands
// of idle module sockets add nothing to a turn of Qt's loop. The listening
// socket, the operator API, the store and the timers stay Qt's.
class ModuleLoop final : public QObject {
    Q_OBJECT
public:
    // One read buffer for every connection: each read is handed on before the next.
    static constexpr std::size_t kReadBufferSize = 64 * 1024;

    explicit ModuleLoop(QObject* parent = nullptr);
    ~ModuleLoop() override;
    ModuleLoop(const ModuleLoop&) = delete;
    ModuleLoop& operator=(const ModuleLoop&) = delete;

    [[nodiscard]] uv_loop_t* loop() { return &m_loop; }
    [[nodiscard]] static ModuleLoop& of(uv_loop_t* loop) { return *static_cast<ModuleLoop*>(loop->data); }
    [[nodiscard]] std::uint8_t* readBuffer() { return m_readBuffer->data(); }
    // libuv applies what changed outside its own turn (a socket to watch,
    // a write to finish, a handle to close) at its next turn: one is asked
    // for at the next turn of Qt's loop.
    void kick();
    // A timer of the loop was armed or closed: libuv's next deadline is
    // taken at the end of a turn, or at once when outside one.
    void deadlinesChanged() {
        if (!m_running) kick();
    }
    // How many turns libuv has run: it runs only when it has something to do.
    [[nodiscard]] std::uint64_t turns() const { return m_turns; }

private:
    void run();

    uv_loop_t m_loop{};
    std::unique_ptr<std::array<std::uint8_t, kReadBufferSize>> m_readBuffer;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_timer;  // libuv's own next deadline
    bool m_kicked = false;
    bool m_running = false;
    std::uint64_t m_turns = 0;
};

}  // namespace kv6::fleet
