#pragma once

#include <cstdint>
#include <span>

#include "common/trace_sink.h"
#include "image/image.h"
#include "image/section_flags.h"
#include "image/write_queue.h"

namespace kv6::image {

// Everything one window owns about the module's configuration: what was last
// read or loaded (ReceivedImage), what the editors encode and writes send
// (ConfigImage), the section change flags and the write-job queue.
class Workspace {
public:
    explicit Workspace(TraceSink* trace = nullptr) : m_trace(trace) {}

    Image ReceivedImage{};
    Image ConfigImage{};
    SectionFlags flags;
    WriteQueue queue;

    // Appends a WriteJob for [address, address + length) of ConfigImage.
    // A job that would reach past the image, or a full queue, drops it.
    bool QueueWrite(int address, int length);

    // The bytes a job sends, as ConfigImage holds them now.
    [[nodiscard]] std::span<const std::uint8_t> jobBytes(const WriteJob& job) const;

    void setTrace(TraceSink* trace) { m_trace = trace; }

private:
    TraceSink* m_trace = nullptr;
};

}  // namespace kv6::image
