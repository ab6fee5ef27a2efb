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
    ++m_readNumber;
    m_state.ReadTicks = 0;
    m_state.ReadActive = true;
    m_state.BlockCount = 0;
    m_state.ReadRetries = 0;
    // A reply still arriving for an earlier request keeps its place in the
    // stream; only a line with nothing outstanding starts afresh.
    if (m_open.empty()) resetReply();
    m_repeatDue = false;
    // Reacting at once, the first request could meet the rest of an earlier
    // run's reply that no request of this engine accounts for (another
    // program's read): it waits for a tick in which nothing came.
    m_quietHeld = m_pacing == Pacing::Reactive;
    m_heard = false;
    m_workspace.ReceivedImage.fill(0xFF);
    updatePending();
}

void TransferEngine::resetReadState() {
    m_repeatDue = false;
    m_quietHeld = false;
    m_state.ReadActive = false;
    m_state.ReadTicks = 0;
    updatePending();
}

void TransferEngine::resetReply() {
    m_state.InData = false;
    m_state.ByteCount = 0;
    m_lastByte = 0;
}

void TransferEngine::updatePending() {
    m_state.BlockPending = std::any_of(m_open.begin(), m_open.end(), [this](const OpenRequest& request) {
        return request.read == m_readNumber && request.block == m_state.BlockCount;
    });
}

std::vector<std::size_t> TransferEngine::openCounts() const {
    std::vector<std::size_t> counts;
    for (const OpenRequest& request : m_open)
        if (std::find(counts.begin(), counts.end(), request.count) == counts.end()) counts.push_back(request.count);
    return counts;
}

std::uint8_t TransferEngine::countFor(int block) const {
    const auto sameBlock = [&](const OpenRequest& request) {
        return request.read == m_readNumber && request.block == block;
    };
    // Asked again: any answer to this block will do, so the same length.
    for (const OpenRequest& request : m_open)
        if (sameBlock(request)) return request.count;
    // The ninth request asks for 251 bytes: a late answer to it is never
    // taken for a following read's first block.
    const std::uint8_t preferred = block < kBlocksPerRead ? static_cast<std::uint8_t>(kBlockSize) : kOtherCount;
    const std::uint8_t other = preferred == kOtherCount ? static_cast<std::uint8_t>(kBlockSize) : kOtherCount;
    bool preferredUsed = false;
    bool otherUsed = false;
    for (const OpenRequest& request : m_open) {
        if (sameBlock(request)) continue;
        if (request.count == preferred) preferredUsed = true;
        if (request.count == other) otherUsed = true;
    }
    if (!preferredUsed) return preferred;
    if (!otherUsed) return other;
    return 0;
}

// --- receiver ---

// The reply is kept aside until its length tells which request it answers;
// only then does it reach ReceivedImage.
void TransferEngine::storeByte(std::uint8_t byte) {
    if (m_state.ByteCount >= 0 && m_state.ByteCount < static_cast<int>(m_reply.size()))
        m_reply[static_cast<std::size_t>(m_state.ByteCount)] = byte;
    // Saturates: a reply that never ends cannot overflow the count.
    if (m_state.ByteCount < static_cast<int>(image::kImageSize)) ++m_state.ByteCount;
}

void TransferEngine::replyEnded() {
    const auto dataBytes = static_cast<std::size_t>(m_state.ByteCount - 1);  // the ';' was counted
    resetReply();
    m_ackCarry.clear();
    const auto answered = std::find_if(m_open.begin(), m_open.end(),
                                       [&](const OpenRequest& request) { return request.count == dataBytes; });
    if (answered == m_open.end()) return;
    const OpenRequest request = *answered;
    // Every request sent before this one has had its answer or never will.
    m_open.erase(m_open.begin(), answered + 1);
    if (m_state.ReadActive && request.read == m_readNumber && request.block == m_state.BlockCount &&
        request.block < kBlocksPerRead) {
        std::copy_n(m_reply.begin(), kBlockSize,
                    m_workspace.ReceivedImage.begin() + static_cast<std::ptrdiff_t>(request.block) * kBlockSize);
        ++m_state.BlockCount;
        m_repeatDue = false;
    } else if (tracing()) {
        trace("late reply dropped (block " + std::to_string(request.block) + ")");
    }
    updatePending();
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
    bool ended = false;
    std::span<const std::uint8_t> rest = chunk;
    for (;;) {
        bool listening = m_armed && !m_open.empty();
        const std::vector<std::size_t> counts = openCounts();
        ReplyContext context;
        context.dataSoFar = static_cast<std::size_t>(m_state.ByteCount);
        context.expected = counts;
        if (stream) {
            context.previous = m_lastByte;
            if (!ended) context.ackCarry = m_ackCarry;
        }
        const ChunkScan scan = ScanReply(rest, listening, m_state.InData, onData, context);
        if (!scan.replyEnded) {
            const std::size_t longest = counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
            if (listening && static_cast<std::size_t>(m_state.ByteCount) > longest + 1) {
                // Longer than anything asked for: the start of this reply was
                // missed. What follows is read again only after a quiet tick,
                // at the start of a reply.
                resetReply();
                m_armed = false;
                if (tracing) trace("reply overran; waiting for a quiet line");
            } else {
                m_lastByte = rest.empty() ? m_lastByte : rest.back();
            }
            if (!ended) {
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
            }
            break;
        }
        ended = true;
        if (!stored.empty()) trace(stored);
        stored.clear();
        replyEnded();
        // With nothing else asked for, the rest of the chunk is dropped;
        // otherwise it may already hold the next reply.
        if (m_open.empty()) break;
        rest = rest.subspan(scan.consumed);
        if (rest.empty()) break;
    }
    if (!stored.empty()) trace(stored);
    if (tracing && !ended) {
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
    if (quiet) m_armed = true;
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
    if (m_state.ReadActive && !m_state.BlockPending && !m_quietHeld) requestBlock();
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
            // The open block is asked again once no reply is arriving. Its
            // first request stays open: whichever answer comes first is taken.
            m_repeatDue = true;
            m_quietHeld = true;
            // Requests left unanswered for a whole window that block both
            // lengths are taken as lost, oldest first.
            while (!m_open.empty() && countFor(m_state.BlockCount) == 0) m_open.pop_front();
        }
        return;
    }
    if (m_state.BlockPending && !m_repeatDue) return;
    if (m_quietHeld) {
        if (!quiet) return;
        m_quietHeld = false;
    }
    requestBlock();
}

void TransferEngine::requestBlock() {
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
            m_repeatDue = false;
            m_workspace.flags.ClearSectionFlags();
            if (m_listener) m_listener->readFailed(ReadFailure::PasswordMismatch);
            return;
        }
    }
    const std::uint8_t count = countFor(m_state.BlockCount);
    // Sent before the completion test: the tick that completes the read also
    // asks for a ninth block (address 2000), which the module expects, unless
    // no length is free to tell its answer apart.
    if (count != 0) {
        m_open.push_back({m_readNumber, m_state.BlockCount, count});
        m_repeatDue = false;
        updatePending();
        m_port.write(SendReadRequest(static_cast<std::uint16_t>(m_state.BlockCount * kBlockSize), count));
    }
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
    m_repeatDue = false;
    m_quietHeld = false;
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
