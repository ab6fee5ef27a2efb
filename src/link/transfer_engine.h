#pragma once

#include <cstddef>
#include <cstdint>
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
    bool BlockPending = false;   // a block request went out and its reply has not ended
    bool InData = false;         // the reply's ',' was seen; further bytes are data
    int BlockCount = 0;          // blocks received; also the next block to request
    int ByteCount = 0;           // data bytes stored for the current block
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
//            ^                              ^   |  ';'CR after 250 data bytes: k += 1
//            |                              +---+  (20-tick window lapses: again)
//            +-- k = 8: complete (ninth request still sent), password
//                mismatch after block 0, or fifth window: ReadFailed
//   write: WriteStep 0 --SendJob--> 1 --"~W=" / remote 'W'--> 2 --JobDone--> 0 (next job)
//            1 --countdown runs out--> WriteTimeout: 0 again, or after the
//            last attempt the whole queue is dropped
//
// Ticks drive both pacings. With the reactive pacing the owner also calls
// react() whenever something happened (bytes received, a remote
// acknowledgement, an operation started): it sends what the next tick would
// send, at once, without counting a tick. A block asked for again after its
// window ran out waits for a tick in which nothing was received, so the late
// rest of the lost reply is never taken for the new one.
class TransferEngine {
public:
    static constexpr std::size_t kChunkSize = 1050;      // bytes the receiver takes per tick
    static constexpr int kBlockSize = 250;
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
    bool m_heard = false;        // the receiver took bytes since the last Timer2 tick
    bool m_repeatHeld = false;   // a block is to be asked again once the line is quiet
    std::uint8_t m_lastByte = 0; // reactive: the byte before the next chunk, in the pending reply
    std::vector<std::uint8_t> m_ackCarry;  // reactive: the tail of the previous chunk
};

}  // namespace kv6::link
