// The serial receiver under arbitrary chunks: during a read and during a
// write, with engine ticks interleaved as the input says.
#include <cstdint>

#include "common/prompts.h"
#include "common/status_sink.h"
#include "fuzz/fuzz_input.h"
#include "image/workspace.h"
#include "link/transfer_engine.h"

namespace {

using kv6::fuzz::require;

struct Port final : kv6::link::ByteSink {
    void write(std::span<const std::uint8_t> bytes) override {
        // A request or a write frame: a command word, fields, at most one job's data.
        require(!bytes.empty() && bytes.size() <= 16 + 255, "serial frame of a plausible size");
    }
};
struct Status final : kv6::StatusSink {
    void setStatus(kv6::StatusPanel, const std::string&) override {}
};
struct AnswerOk final : kv6::Prompts {
    bool message(const std::string&, const std::string&, kv6::MessageIcon, kv6::MessageButtons) override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kv6::fuzz::FuzzInput in(data, size);
    kv6::image::Workspace workspace;
    Port port;
    Status status;
    AnswerOk prompts;
    kv6::NullTraceSink trace;
    kv6::link::TransferEngine engine(workspace, port, status, prompts, trace);

    const bool writing = in.byte() & 1;
    static const kv6::image::Image pattern = [] {
        kv6::image::Image image{};
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
        return image;
    }();
    workspace.ConfigImage = pattern;
    if (writing) {
        const int jobs = in.byte() % 24;
        for (int j = 0; j < jobs; ++j) workspace.QueueWrite(in.word() % 4200, in.byte() % 65);
        engine.startWrite();
    } else {
        engine.setReadPassword(in.word());
        engine.SpeedButton2Click();
    }
    const kv6::image::Image config = workspace.ConfigImage;

    while (!in.done()) {
        switch (in.byte() % 4) {
            case 0:
                engine.Timer2Timer();
                break;
            case 1: {  // the receiver takes what it can; the rest waits for its next tick
                auto chunk = in.run(2 * kv6::link::TransferEngine::kChunkSize);
                while (!chunk.empty()) {
                    const std::size_t taken = engine.Timer1Timer(chunk);
                    require(taken > 0 && taken <= chunk.size(), "the receiver takes part of a non-empty chunk");
                    chunk = chunk.subspan(taken);
                }
                break;
            }
            case 2:
                for (int t = in.byte() % 40; t > 0; --t) engine.Timer2Timer();
                break;
            default:
                engine.Timer1Timer({});
                break;
        }
        const auto& state = engine.state();
        require(state.BlockCount >= 0 && state.BlockCount <= kv6::link::TransferEngine::kBlocksPerRead + 1,
                "block count within a read");
        require(workspace.queue.size() <= kv6::image::WriteQueue::kCapacity, "queue within its capacity");
    }
    require(workspace.ConfigImage == config, "the link never changes ConfigImage");
    for (const auto& job : workspace.queue.jobs())
        require(job.address >= 0 && job.address + job.length <= 4096, "queued jobs inside the image");
    return 0;
}
