#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "common/prompts.h"
#include "common/status_sink.h"
#include "common/trace_sink.h"
#include "image/workspace.h"
#include "link/byte_sink.h"
#include "link/pacing.h"
#include "link/remote_write_path.h"
#include "link/transfer_listener.h"

namespace kv6::link {

// The engine's state, under the names the rest of the tool uses.
struct TransferState {
    bool ReadActive = false;     // a serial read is in progress
    bool BlockPending = false;   // a request for block BlockCount is on the line, unanswered
    bool InData = false;         // the reply's ',' was seen; further bytes are data
    int BlockCount = 0;          // blocks received; also the next block to request
    int ByteCount = 0;           // data bytes of the reply now arriving
    int ReadTicks = 0;           // Timer2 ticks since the read started or last timed out
    int ReadRetries = 0;         // read time-outs in this read
    std::uint16_t ReadPassword = 0xFFFF;  // compared unsigned with bytes 244..245
    std::uint8_t WriteStep = 0;  // 0 send head job, 1 waiting, 2 acknowledged
    int WriteCountdown = 30;     // Timer2 ticks left for the current write attempt
    int WriteRetries = 0;        // time-outs of the current head job
};

// The tick-driven link engine: Timer1Timer is the serial receiver, Timer2Timer
// sends the write jobs (phase A) and paces a serial read (phase B).
//
//   read:  idle --SpeedButton2Click--> request block k --> BlockPending
//            ^                              ^   |  a reply to a request for k: k += 1
//            |                              +---+  (20-tick window lapses: asked again)
//            +-- k = 8: complete (ninth request still sent), password
//                mismatch after block 0, or fifth window: ReadFailed
//   write: WriteStep 0 --SendJob--> 1 --"~W=" / remote 'W'--> 2 --JobDone--> 0 (next job)
//            1 --countdown runs out--> WriteTimeout: 0 again, or after the
//            last attempt the whole queue is dropped
//
// A serial reply names neither its address nor its request, and a block
// asked for again may be answered twice, the first answer arriving late. So
// the engine keeps every request still unanswered, in the order sent, and
// tells replies apart by their length: a request for another block than
// those still unanswered asks for 250 or 251 bytes, whichever they do not
// use. A reply is taken only when its length names a request for the block
// now open; a reply to anything older is dropped. The module answers one
// command after the other, so a reply also settles every request sent
// before its own.
//
// Ticks drive both pacings. With the reactive pacing the owner also calls
// react() whenever something happened (bytes received, a remote
// acknowledgement, an operation started): it sends what the next tick would
// send, at once, without counting a tick.
class TransferEngine {
public:
    static constexpr std::size_t kChunkSize = 1050;      // bytes the receiver takes per tick
    static constexpr int kBlockSize = 250;
    static constexpr std::uint8_t kOtherCount = 251;     // a request's length when 250 is in use
    static constexpr int kBlocksPerRead = 8;
    static constexpr int kReadWindowTicks = 20;
    static constexpr int kReadWindows = 5;
    static constexpr int kWriteWindowTicks = 30;         // times m (2 while remote listens)
    static constexpr int kSerialWriteAttempts = 4;
    static constexpr int kRemoteWriteAttempts = 5;
    static constexpr int kPasswordHigh = 244;            // module's read password in block 0
    static constexpr int kPasswordLow = 245;

    TransferEngine(image::Workspace& workspace, ByteSink& port, StatusSink& status, Prompts& prompts,
                   TraceSink& trace);

    void setListener(TransferListener* listener) { m_listener = listener; }
    // The remote session while remote access exists; null means none.
    void setRemotePath(RemoteWritePath* remote) { m_remote = remote ? remote : &m_noRemote; }

    [[nodiscard]] const TransferState& state() const { return m_state; }

    // Reactive: chunks are cut wherever the driver reported bytes, so the
    // receiver reads them as one stream (see ScanChunk).
    void setPacing(Pacing pacing) { m_pacing = pacing; }
    [[nodiscard]] Pacing pacing() const { return m_pacing; }

    void setReadPassword(std::uint16_t password) { m_state.ReadPassword = password; }
    // Serial read start, after the port was opened.
    void SpeedButton2Click();
    // Stops a serial read without a message (a remote read completed instead).
    void resetReadState();

    // Receiver tick with the bytes received since the last one. Takes at most
    // kChunkSize of them and returns how many it took.
    std::size_t Timer1Timer(std::span<const std::uint8_t> chunk);
    // Engine tick: phase A (writing), then phase B (serial reading).
    void Timer2Timer();

    // Jobs were queued: the head job goes out on the next tick.
    void startWrite() { setWriteStep(0); }
    void setWriteStep(std::uint8_t step) { m_state.WriteStep = step; }
    // A 'W' reply on the remote link.
    void remoteWriteAcknowledged() { m_state.WriteStep = 2; }

    // "React now": releases an acknowledged job and sends the next one, and
    // requests the next block of a read whose previous reply has ended. No
    // countdown or window moves; only ticks count time.
    void react();

private:
    bool phaseA();
    void phaseB(bool quiet);
    void requestBlock();
    // The length to ask for block `block`; 0 while both lengths are in use
    // by unanswered requests for other blocks.
    [[nodiscard]] std::uint8_t countFor(int block) const;
    [[nodiscard]] std::vector<std::size_t> openCounts() const;
    void replyEnded();
    void resetReply();
    void updatePending();
    void completeRead();
    void SendJob();
    void JobDone();
    void WriteTimeout();
    void ReadFailed();
    void storeByte(std::uint8_t byte);
    void status(const std::string& text) { m_status.setStatus(StatusPanel::Operation, text); }
    void trace(const std::string& line) { m_trace.trace(TraceChannel::Link, line); }
    // Lines are built only when they go somewhere: the engine ticks every 10 ms.
    [[nodiscard]] bool tracing() const { return m_trace.tracing(TraceChannel::Link); }

    image::Workspace& m_workspace;
    ByteSink& m_port;
    StatusSink& m_status;
    Prompts& m_prompts;
    TraceSink& m_trace;
    NoRemotePath m_noRemote;
    RemoteWritePath* m_remote = &m_noRemote;
    TransferListener* m_listener = nullptr;
    TransferState m_state;
    Pacing m_pacing = Pacing::Module;
    // A read request on the line that no reply has settled yet.
    struct OpenRequest {
        int read = 0;   // which read asked (m_readNumber)
        int block = 0;
        std::uint8_t count = 0;
    };
    std::deque<OpenRequest> m_open;  // in the order sent
    int m_readNumber = 0;            // counts the serial reads started
    std::array<std::uint8_t, 256> m_reply{};  // the reply now arriving, until it is told apart
    bool m_heard = false;        // the receiver took bytes since the last Timer2 tick
    bool m_repeatDue = false;    // the open block's window ran out: ask again
    bool m_quietHeld = false;    // the next request waits for a tick in which nothing came
    bool m_armed = true;         // false after a reply ran past every length asked for, until a quiet tick
    std::uint8_t m_lastByte = 0; // reactive: the byte before the next chunk, in the pending reply
    std::vector<std::uint8_t> m_ackCarry;  // reactive: the tail of the previous chunk
};

}  // namespace kv6::link
