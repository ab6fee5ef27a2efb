#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "image/workspace.h"
#include "remote/remote_session.h"
#include "remote_test_support.h"

namespace kv6::remote::test {

class SessionTest : public ::testing::Test {
protected:
    SessionTest() {
        session.setFrameSink(&sink);
        session.setClock([] { return LocalDateTime{2000, 1, 1, 0, 0, 0}; });
        session.setTimeZoneHoursProvider([] { return 3; });
    }

    void connect(int id = 1) {
        session.N18Click();
        session.onConnected(id, 5000);
    }
    void feed(const std::vector<std::uint8_t>& bytes, int id = 1) { session.onData(id, bytes); }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) session.Timer4Timer();
    }
    [[nodiscard]] std::vector<SentFrame> framesOf(std::uint8_t command) const {
        std::vector<SentFrame> out;
        for (const auto& f : sink.sent)
            if (f.bytes.size() == 129 && f.bytes[3] == command) out.push_back(f);
        return out;
    }
    [[nodiscard]] bool traced(const std::string& line) const {
        return std::find(trace.remote.begin(), trace.remote.end(), line) != trace.remote.end();
    }

    image::Workspace ws;
    RecordingStatus status;
    RecordingTrace trace;
    RecordingListener listener;
    RecordingSink sink;
    RemoteSession session{ws, status, trace, listener};
};

}  // namespace kv6::remote::test
