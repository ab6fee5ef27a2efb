#pragma once

#include <algorithm>
#include <numeric>

#include "image/workspace.h"
#include "link/transfer_engine.h"
#include "link_fakes.h"

namespace kv6::link::test {

// An engine with recording sinks and a scripted module that answers the
// frames the engine sent on the receiver's next tick.
struct EngineHarness {
    image::Workspace workspace;
    RecordingPort port;
    RecordingStatus status;
    RecordingPrompts prompts;
    NullTraceSink trace;
    RecordingListener listener;
    TransferEngine engine{workspace, port, status, prompts, trace};
    image::Image memory{};  // the module's memory
    std::size_t answered = 0;
    bool answering = true;

    EngineHarness() {
        engine.setListener(&listener);
        std::iota(memory.begin(), memory.end(), std::uint8_t{0});
        setModulePassword(1234);
    }

    void setModulePassword(std::uint16_t password) {
        memory[244] = static_cast<std::uint8_t>(password >> 8);
        memory[245] = static_cast<std::uint8_t>(password & 0xFF);
    }

    void startRead(std::uint16_t password) {
        engine.setReadPassword(password);
        engine.SpeedButton2Click();
    }

    // The module's answer to one frame.
    [[nodiscard]] std::vector<std::uint8_t> answer(const std::vector<std::uint8_t>& frame) {
        const std::string_view word(reinterpret_cast<const char*>(frame.data()), std::min<std::size_t>(8, frame.size()));
        std::vector<std::uint8_t> reply;
        const std::size_t address = frame.size() > 9 ? (frame[8] << 8 | frame[9]) : 0;
        if (word == "IP~BLRD=") {
            reply = bytes("BLRD,");
            for (std::size_t i = 0; i < frame[11]; ++i) reply.push_back(address + i < memory.size() ? memory[address + i] : 0);
            reply.push_back(';');
            reply.push_back('\r');
        } else if (word == "IP~BLWR=") {
            std::copy(frame.begin() + 13, frame.begin() + 13 + frame[11], memory.begin() + static_cast<long>(address));
            reply = bytes("OK~W=\r");
        }
        return reply;
    }

    // One Timer1 tick carrying the answers to every frame not yet answered,
    // then one Timer2 tick.
    void tick() {
        std::vector<std::uint8_t> chunk;
        for (; answered < port.frames.size(); ++answered)
            if (answering) {
                const auto reply = answer(port.frames[answered]);
                chunk.insert(chunk.end(), reply.begin(), reply.end());
            }
        engine.Timer1Timer(chunk);
        engine.Timer2Timer();
    }

    void ticks(int count) {
        for (int i = 0; i < count; ++i) tick();
    }
};

}  // namespace kv6::link::test
