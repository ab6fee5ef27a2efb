// The remote session under arbitrary streams from up to three connections,
// with connects, disconnects, timer ticks and the tool's own commands
// interleaved: idle, during a remote read and during writes; identifying
// as the desktop tool does or as the server does.
#include <cstdint>

#include "common/status_sink.h"
#include "fuzz/fuzz_input.h"
#include "image/workspace.h"
#include "remote/greeting.h"
#include "remote/remote_frame.h"
#include "remote/remote_session.h"

namespace {

using kv6::fuzz::require;

struct Sink final : kv6::remote::FrameSink {
    void sendBytes(int, std::span<const std::uint8_t> bytes) override {
        // The greeting is the only thing sent that is not a frame.
        if (bytes.size() == kv6::remote::Greeting::kSize) return;
        require(bytes.size() == kv6::remote::RemoteFrame::kSize, "every frame is 129 bytes");
        require(bytes[0] == '~' && bytes[128] == ';', "frame marks");
        const unsigned address = static_cast<unsigned>(bytes[4] << 8 | bytes[5]);
        require(address <= 4095, "frame address inside the image");
    }
};
struct Status final : kv6::StatusSink {
    void setStatus(kv6::StatusPanel, const std::string&) override {}
};
struct Listener final : kv6::remote::RemoteSessionListener {};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kv6::fuzz::FuzzInput in(data, size);
    kv6::image::Workspace workspace;
    Status status;
    kv6::NullTraceSink trace;
    Listener listener;
    Sink sink;
    kv6::remote::RemoteSession session(workspace, status, trace, listener);
    session.setFrameSink(&sink);
    session.setClock([] { return kv6::remote::LocalDateTime{2026, 12, 7, 10, 0, 0}; });
    session.setTimeZoneHoursProvider([] { return 3; });
    // Odd-sized inputs run the server's way of identifying (texts only, collected).
    if (size % 2 == 1) session.setIdentification(kv6::remote::RemoteSession::Identification::TextOnly);
    session.N18Click();

    while (!in.done()) {
        const int id = 1 + in.byte() % 3;
        switch (in.byte() % 10) {
            case 0: session.onConnected(id, in.word()); break;
            case 1: session.onDisconnected(id); break;
            case 2: case 3: case 4: {
                const auto bytes = in.run(400);
                session.onData(id, bytes);
                break;
            }
            case 5: for (int t = in.byte() % 20; t > 0; --t) session.Timer4Timer(); break;
            case 6: {
                const std::uint16_t word = in.word();
                if (word % 8 == 7)
                    session.startBlockRead(static_cast<std::uint16_t>(word / 8 % 32 * 128));
                else
                    session.startRead(word);
                break;
            }
            case 7: {
                const std::uint16_t address = in.word() % 4096;
                const auto bytes = in.run(kv6::remote::RemoteFrame::kMaxWriteBytes);
                if (address + bytes.size() <= 4096) session.sendWriteJob(address, bytes);
                break;
            }
            case 8: if (in.byte() & 1) (void)session.sendPassword(in.word(), in.word()); else (void)session.sendReset(); break;
            default: if (in.byte() & 1) session.N19Click(); else session.N18Click(); break;
        }
        for (int c = 1; c <= 3; ++c) require(session.pendingBytes(c) < 136, "at most one partial reply buffered");
        require(session.nextAddress() <= 4096, "remote read address inside the image");
    }
    return 0;
}
