#include "fleet/module_socket.h"

#include <unistd.h>
#include <utility>
#include <vector>

namespace kv6::fleet {

struct ModuleSocket::Handle {
    uv_tcp_t tcp{};
    uv_connect_t connect{};
    ModuleSocket* owner = nullptr;  // none once the owner closed it or is gone
};

namespace {

// A write the kernel did not take whole: the rest, kept until libuv sent it.
struct PendingWrite {
    uv_write_t request{};
    std::vector<std::uint8_t> bytes;
};

}  // namespace

void ModuleSocket::freeHandle(uv_handle_t* handle) { delete reinterpret_cast<Handle*>(handle); }

ModuleSocket::ModuleSocket(ModuleLoop& loop) : m_loop(loop) {}

ModuleSocket::~ModuleSocket() { abort(); }

bool ModuleSocket::open(int descriptor, DataCallback onData, ClosedCallback onClosed) {
    abort();
    auto* handle = new Handle;
    uv_tcp_init(m_loop.loop(), &handle->tcp);
    if (uv_tcp_open(&handle->tcp, descriptor) != 0) {
        // Not the handle's descriptor: closing the handle leaves it open.
        uv_close(reinterpret_cast<uv_handle_t*>(&handle->tcp), freeHandle);
        ::close(descriptor);
        m_loop.kick();
        return false;
    }
    handle->owner = this;
    handle->tcp.data = handle;
    m_handle = handle;
    m_onData = std::move(onData);
    m_onClosed = std::move(onClosed);
    return startReading();
}

bool ModuleSocket::connectTo(const sockaddr& address, ConnectedCallback onConnected, DataCallback onData,
                             ClosedCallback onClosed) {
    abort();
    auto* handle = new Handle;
    uv_tcp_init(m_loop.loop(), &handle->tcp);
    handle->owner = this;
    handle->tcp.data = handle;
    handle->connect.data = handle;
    const int started = uv_tcp_connect(&handle->connect, &handle->tcp, &address, [](uv_connect_t* request, int status) {
        ModuleSocket* socket = static_cast<Handle*>(request->data)->owner;
        if (socket == nullptr || status == UV_ECANCELED) return;  // aborted meanwhile
        const ConnectedCallback onConnected = std::exchange(socket->m_onConnected, {});
        if (status != 0) {
            socket->abort();
            socket->m_onData = {};
            socket->m_onClosed = {};
            if (onConnected) onConnected(status);  // may destroy the socket
            return;
        }
        if (!socket->startReading()) {
            if (onConnected) onConnected(UV_EIO);
            return;
        }
        if (onConnected) onConnected(0);
    });
    if (started != 0) {
        uv_close(reinterpret_cast<uv_handle_t*>(&handle->tcp), freeHandle);
        m_loop.kick();
        return false;
    }
    m_handle = handle;
    m_onConnected = std::move(onConnected);
    m_onData = std::move(onData);
    m_onClosed = std::move(onClosed);
    m_loop.kick();
    return true;
}

bool ModuleSocket::startReading() {
    Handle* handle = m_handle;
    const auto allocate = [](uv_handle_t* h, std::size_t, uv_buf_t* buffer) {
        *buffer = uv_buf_init(reinterpret_cast<char*>(ModuleLoop::of(h->loop).readBuffer()),
                              static_cast<unsigned>(ModuleLoop::kReadBufferSize));
    };
    const auto read = [](uv_stream_t* stream, ssize_t count, const uv_buf_t* buffer) {
        ModuleSocket* socket = static_cast<Handle*>(stream->data)->owner;
        if (socket == nullptr || count == 0) return;
        if (count < 0) {
            socket->closed();  // the module hung up, or the connection broke
            return;
        }
        // A copy: the handler may destroy the socket.
        const DataCallback onData = socket->m_onData;
        if (onData) onData({reinterpret_cast<const std::uint8_t*>(buffer->base), static_cast<std::size_t>(count)});
    };
    const int reading = uv_read_start(reinterpret_cast<uv_stream_t*>(&handle->tcp), allocate, read);
    m_loop.kick();
    if (reading == 0) return true;
    abort();
    return false;
}

void ModuleSocket::write(std::span<const std::uint8_t> bytes) {
    if (m_handle == nullptr || bytes.empty()) return;
    auto* stream = reinterpret_cast<uv_stream_t*>(&m_handle->tcp);
    uv_buf_t buffer = uv_buf_init(const_cast<char*>(reinterpret_cast<const char*>(bytes.data())),
                                  static_cast<unsigned>(bytes.size()));
    // Out now if the kernel takes it (libuv refuses while earlier bytes wait, keeping the order).
    const int written = uv_try_write(stream, &buffer, 1);
    if (written == static_cast<int>(bytes.size())) return;
    if (written < 0 && written != UV_EAGAIN) return;  // broken: the read side reports the end
    const std::size_t sent = written > 0 ? static_cast<std::size_t>(written) : 0;
    auto* pending = new PendingWrite;
    pending->bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(sent), bytes.end());
    buffer = uv_buf_init(reinterpret_cast<char*>(pending->bytes.data()), static_cast<unsigned>(pending->bytes.size()));
    const int queued = uv_write(&pending->request, stream, &buffer, 1, [](uv_write_t* request, int) {
        delete reinterpret_cast<PendingWrite*>(request);
    });
    if (queued != 0) {
        delete pending;
        return;
    }
    m_loop.kick();
}

void ModuleSocket::abort() {
    if (m_handle == nullptr) return;
    Handle* handle = std::exchange(m_handle, nullptr);
    handle->owner = nullptr;
    // Queued writes end (cancelled) before the close callback frees the handle.
    uv_close(reinterpret_cast<uv_handle_t*>(&handle->tcp), freeHandle);
    m_loop.kick();
}

void ModuleSocket::closed() {
    abort();
    // Taken out first: the owner may destroy this socket from it.
    const ClosedCallback onClosed = std::exchange(m_onClosed, {});
    m_onData = {};
    if (onClosed) onClosed();
}

}  // namespace kv6::fleet
