#include "link/transfer_engine.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "link/engine_texts.h"
#include "link/protocol.h"

namespace kv6::link {

namespace {

std::string hex2(std::uint8_t byte) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

// Received bytes as a trace line: printable ASCII kept, the rest as <HH>.
std::string printable(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F) text.push_back(static_cast<char>(b));
        else text += "<" + hex2(b) + ">";
    }
    return text;
}

}  // namespace

TransferEngine::TransferEngine(image::Workspace& workspace, ByteSink& port, StatusSink& status, Prompts& prompts,
                               TraceSink& trace)
    : m_workspace(workspace), m_port(port), m_status(status), m_prompts(prompts), m_trace(trace) {}

void TransferEngine::SpeedButton2Click() {
    m_state.ReadTicks = 0;
    m_state.ReadActive = true;
    m_state.BlockCount = 0;
    m_state.BlockPending = false;
    m_state.ByteCount = 0;
    m_state.ReadRetries = 0;
    m_state.InData = false;
    // Reacting at once, the first request could meet the rest of a reply to
    // an earlier run's last request (a completed read asks for address 2000
    // as it ends): like a repeat, it waits for a tick in which nothing came.
    m_repeatHeld = m_pacing == Pacing::Reactive;
    m_heard = false;
    m_workspace.ReceivedImage.fill(0xFF);
}

void TransferEngine::resetReadState() {
    m_repeatHeld = false;
    m_state.ReadActive = false;
    m_state.BlockPending = false;
    m_state.InData = false;
    m_state.ReadTicks = 0;
    m_state.ByteCount = 0;
}

// --- receiver ---

// A reply writes only inside its own block: the ';' that ends a full block
// (and anything a runaway reply sends after it) is counted but not stored, so
// it never lands on the next block's first byte or, after the last block, at
// offset 2000 of the image.
void TransferEngine::storeByte(std::uint8_t byte) {
    const long position = static_cast<long>(m_state.BlockCount) * kBlockSize + m_state.ByteCount;
    if (m_state.ByteCount < static_cast<int>(kBlockSize) && position >= 0 &&
        position < static_cast<long>(image::kImageSize))
        m_workspace.ReceivedImage[static_cast<std::size_t>(position)] = byte;
    // Saturates: a reply that never ends cannot overflow the count.
    if (m_state.ByteCount < static_cast<int>(image::kImageSize)) ++m_state.ByteCount;
}

std::size_t TransferEngine::Timer1Timer(std::span<const std::uint8_t> chunk) {
    chunk = chunk.first(std::min(chunk.size(), kChunkSize));
    if (chunk.empty()) return 0;
    m_heard = true;
    const bool stream = m_pacing == Pacing::Reactive;
    const bool tracing = this->tracing();
    std::string stored;
    const auto onData = [&](std::uint8_t byte) {
        storeByte(byte);
        if (tracing) stored += hex2(byte);
    };
    ReplyContext context;
    context.dataSoFar = static_cast<std::size_t>(m_state.ByteCount);
    context.expected = kBlockSize;
    if (stream) {
        context.previous = m_lastByte;
        context.ackCarry = m_ackCarry;
    }
    const ChunkScan scan = ScanReply(chunk, m_state.BlockPending, m_state.InData, onData, context);
    if (!stored.empty()) trace(stored);
    m_lastByte = chunk.back();
    if (scan.replyEnded) {
        ++m_state.BlockCount;
        m_state.ByteCount = 0;
        m_ackCarry.clear();
        return chunk.size();
    }
    if (stream) {
        const auto carried = static_cast<std::ptrdiff_t>(std::min(chunk.size(), kAckCarry));
        m_ackCarry.assign(chunk.end() - carried, chunk.end());
    }
    if (scan.acks.password) {
        status(std::string(texts::kPasswordChanged));
        if (m_listener) m_listener->passwordAcknowledged();
    }
    if (scan.acks.reset) {
        status(std::string(texts::kResetDone));
        if (m_listener) m_listener->resetAcknowledged();
    }
    if (scan.acks.write) m_state.WriteStep = 2;
    if (tracing) {
        trace("--read--");
        trace(std::to_string(chunk.size()));
        trace(printable(chunk));
    }
    return chunk.size();
}

// --- engine tick ---

void TransferEngine::Timer2Timer() {
    const bool quiet = !m_heard;
    m_heard = false;
    if (!m_workspace.queue.empty() && phaseA()) return;
    if (m_state.ReadActive) phaseB(quiet);
}

void TransferEngine::react() {
    if (!m_workspace.queue.empty()) {
        if (m_state.WriteStep == 2) {
            JobDone();
            m_state.WriteCountdown = kWriteWindowTicks;
        }
        if (!m_workspace.queue.empty() && m_state.WriteStep == 0) {
            m_state.WriteStep = 1;
            SendJob();
        }
    }
    if (m_state.ReadActive && !m_state.BlockPending && !m_repeatHeld) requestBlock();
}

// Returns true when the tick ends here.
bool TransferEngine::phaseA() {
    const int m = m_remote->listening() ? 2 : 1;
    // The countdown is tested before the acknowledgement: one arriving in the
    // tick the countdown runs out is overtaken by the time-out.
    if (--m_state.WriteCountdown < 1) {
        m_state.WriteCountdown = kWriteWindowTicks * m;
        WriteTimeout();
        return true;
    }
    const std::size_t jobs = m_workspace.queue.size();
    if (tracing()) {
        trace("Wr_counter " + std::to_string(jobs));
        trace("Wr_step " + std::to_string(m_state.WriteStep));
    }
    const std::size_t e = (m_state.WriteCountdown % 2 != 0) ? 1 : 0;
    status(std::string(texts::kWriteProgress) + std::string(2 * (jobs + e), '-'));
    if (m_state.WriteStep == 0) {
        m_state.WriteStep = 1;
        SendJob();
    }
    if (m_state.WriteStep == 2) {
        JobDone();
        m_state.WriteCountdown = kWriteWindowTicks;
        return true;
    }
    return false;
}

void TransferEngine::phaseB(bool quiet) {
    if (++m_state.ReadTicks > kReadWindowTicks) {
        m_state.ReadTicks = 0;
        if (++m_state.ReadRetries >= kReadWindows) {
            m_state.ReadRetries = 0;
            ReadFailed();
        } else {
            // The outstanding block is requested again from its first byte,
            // once no rest of the late reply is arriving any more: a serial
            // reply carries no address, so that rest would be taken for the
            // new reply and the blocks would shift.
            m_state.BlockPending = false;
            m_state.InData = false;
            m_state.ByteCount = 0;
            m_repeatHeld = true;
        }
        return;
    }
    if (m_state.BlockPending) return;
    if (m_repeatHeld) {
        if (!quiet) return;
        m_repeatHeld = false;
    }
    requestBlock();
}

void TransferEngine::requestBlock() {
    m_state.BlockPending = true;
    m_lastByte = 0;  // a fresh reply: nothing precedes its first chunk
    if (tracing()) trace("----------" + std::to_string(m_state.BlockCount));
    status(std::string(texts::kReadProgress) + std::string(2 * static_cast<std::size_t>(m_state.BlockCount), '*'));
    if (m_state.BlockCount == 1) {
        const auto& image = m_workspace.ReceivedImage;
        const auto stored = static_cast<std::uint16_t>(image[kPasswordHigh] << 8 | image[kPasswordLow]);
        if (stored != m_state.ReadPassword) {
            std::fill_n(m_workspace.ReceivedImage.begin(), kBlockSize, std::uint8_t{0xFF});
            status(std::string(texts::kPasswordMismatch));
            m_state.ReadActive = false;
            m_state.BlockPending = false;
            m_state.InData = false;
            m_workspace.flags.ClearSectionFlags();
            if (m_listener) m_listener->readFailed(ReadFailure::PasswordMismatch);
            return;
        }
    }
    // Sent before the completion test: the tick that completes the read also
    // asks for a ninth block (address 2000), which the module expects.
    m_port.write(SendReadRequest(static_cast<std::uint16_t>(m_state.BlockCount * kBlockSize), kBlockSize));
    if (m_state.BlockCount >= kBlocksPerRead) completeRead();
}

void TransferEngine::completeRead() {
    status(std::string(texts::kReadDone));
    m_state.ReadActive = false;
    m_state.ReadTicks = 0;
    const auto& image = m_workspace.ReceivedImage;
    for (std::size_t line = 0; tracing() && line < 1000; line += 16) {
        char address[8];
        std::snprintf(address, sizeof address, "%04zX", line);
        std::string text = std::string(address) + " :";
        for (std::size_t i = line; i < std::min<std::size_t>(line + 16, 1000); ++i) text += " " + hex2(image[i]);
        trace(text);
    }
    // The owner decodes: DecodeImage copies ReceivedImage into ConfigImage and clears the flags.
    if (m_listener) m_listener->readCompleted();
}

void TransferEngine::ReadFailed() {
    m_state.ReadActive = false;
    m_state.BlockPending = false;
    m_state.InData = false;
    m_workspace.flags.ClearSectionFlags();
    m_prompts.message(std::string(texts::kNoAnswer), std::string(texts::kReadError), MessageIcon::Exclamation,
                      MessageButtons::Ok);
    if (m_listener) m_listener->readFailed(ReadFailure::NoAnswer);
}

// --- write jobs ---

void TransferEngine::SendJob() {
    const image::WriteJob job = m_workspace.queue.head();
    const auto address = static_cast<std::uint16_t>(job.address);
    const auto bytes = m_workspace.jobBytes(job);
    if (m_remote->listening()) {
        m_remote->sendWriteJob(address, bytes);  // traces "SendWr" and "SendCrc" itself
    } else {
        m_port.write(SendWriteFrame(address, bytes, job.length));
    }
    if (tracing()) {
        trace("Wr_JOB_adress " + std::to_string(address >> 8) + " " + std::to_string(address & 0xFF));
        trace("Wr_JOB_adress_ " + std::to_string(address));
    }
}

void TransferEngine::JobDone() {
    m_state.WriteRetries = 0;
    if (m_workspace.queue.size() >= 2) {
        m_workspace.queue.popHead();
        m_state.WriteStep = 0;
        return;
    }
    status(std::string(texts::kWriteDone));
    m_workspace.queue.clear();
    if (m_listener) m_listener->writeFinished(true);
}

void TransferEngine::WriteTimeout() {
    const int attempts = m_remote->listening() ? kRemoteWriteAttempts : kSerialWriteAttempts;
    if (++m_state.WriteRetries < attempts) {
        m_state.WriteStep = 0;
        return;
    }
    m_state.WriteRetries = 0;
    m_workspace.queue.clear();
    status(std::string(texts::kWriteError));
    m_prompts.message(std::string(texts::kNoAnswer), std::string(texts::kWriteError), MessageIcon::Exclamation,
                      MessageButtons::Ok);
    if (m_listener) m_listener->writeFinished(false);
}

}  // namespace kv6::link
