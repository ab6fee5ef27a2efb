#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/status_sink.h"
#include "common/trace_sink.h"
#include "remote/frame_sink.h"
#include "remote/remote_session_listener.h"

namespace kv6::remote::test {

// A module's 'R' reply: 136 bytes, data i -> (seed + i).
inline std::vector<std::uint8_t> readReply(std::uint16_t address, std::uint8_t seed) {
    std::vector<std::uint8_t> r(136, 0);
    r[0] = '~';
    r[1] = 0x12;
    r[2] = 0x34;
    r[3] = 'R';
    r[4] = static_cast<std::uint8_t>(address >> 8);
    r[5] = static_cast<std::uint8_t>(address & 0xFF);
    r[6] = 128;
    for (int i = 0; i < 128; ++i) r[8 + i] = static_cast<std::uint8_t>(seed + i);
    return r;
}

// The short acknowledgement frames: '~', object, command, address, length, check.
inline std::vector<std::uint8_t> shortReply(std::uint8_t command) {
    return {'~', 0x12, 0x34, command, 0, 0, 0, 0};
}

inline std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

struct SentFrame {
    int connection;
    std::vector<std::uint8_t> bytes;
};

struct RecordingSink : FrameSink {
    std::vector<SentFrame> sent;
    void sendBytes(int connectionId, std::span<const std::uint8_t> bytes) override {
        sent.push_back({connectionId, {bytes.begin(), bytes.end()}});
    }
};

struct RecordingStatus : StatusSink {
    std::map<StatusPanel, std::string> panels;
    std::vector<std::string> history;
    void setStatus(StatusPanel panel, const std::string& text) override {
        panels[panel] = text;
        history.push_back(text);
    }
    std::string operator[](StatusPanel panel) { return panels[panel]; }
};

struct RecordingTrace : TraceSink {
    std::vector<std::string> remote;
    void trace(TraceChannel channel, const std::string& line) override {
        if (channel == TraceChannel::Remote) remote.push_back(line);
    }
};

struct RecordingListener : RemoteSessionListener {
    int completed = 0;
    int mismatches = 0;
    int writeAcks = 0;
    int passwordChanged = 0;
    int passwordRefused = 0;
    int resets = 0;
    void remoteReadCompleted() override { ++completed; }
    void remotePasswordMismatch() override { ++mismatches; }
    void remoteWriteAcknowledged() override { ++writeAcks; }
    void remotePasswordChanged(bool changed) override { ++(changed ? passwordChanged : passwordRefused); }
    void remoteResetDone() override { ++resets; }
};

}  // namespace kv6::remote::test
