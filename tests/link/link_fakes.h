#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/prompts.h"
#include "common/status_sink.h"
#include "common/trace_sink.h"
#include "link/byte_sink.h"
#include "link/remote_write_path.h"
#include "link/transfer_listener.h"
#include "support/scripted_prompts.h"

namespace kv6::link::test {

inline std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

struct RecordingPort final : ByteSink {
    std::vector<std::vector<std::uint8_t>> frames;
    void write(std::span<const std::uint8_t> data) override { frames.emplace_back(data.begin(), data.end()); }
};

struct RecordingStatus final : StatusSink {
    std::vector<std::string> operation;
    void setStatus(StatusPanel panel, const std::string& text) override {
        if (panel == StatusPanel::Operation) operation.push_back(text);
    }
    [[nodiscard]] std::string last() const { return operation.empty() ? std::string() : operation.back(); }
};

using RecordingPrompts = kv6::test::ScriptedPrompts;

struct RecordingListener final : TransferListener {
    int completed = 0, passwordAcks = 0, resetAcks = 0;
    std::vector<ReadFailure> failures;
    std::vector<bool> writes;
    void readCompleted() override { ++completed; }
    void readFailed(ReadFailure reason) override { failures.push_back(reason); }
    void writeFinished(bool ok) override { writes.push_back(ok); }
    void passwordAcknowledged() override { ++passwordAcks; }
    void resetAcknowledged() override { ++resetAcks; }
};

struct FakeRemote final : RemoteWritePath {
    bool on = true;
    std::vector<std::uint16_t> sent;
    [[nodiscard]] bool listening() const override { return on; }
    void sendWriteJob(std::uint16_t address, std::span<const std::uint8_t>) override { sent.push_back(address); }
};

}  // namespace kv6::link::test
