// An arbitrary .prg of 0..8192 bytes loaded as the desktop tool loads it,
// decoded for every source, then encoded by every page's button, by "write
// all settings" and by a file save. The whole-image round trip must settle
// after one save.
#include <algorithm>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "image/page_model.h"
#include "pages/configuration.h"

namespace {

using kv6::fuzz::require;
using kv6::image::DecodeSource;

void requireJobsInside(const kv6::image::Workspace& workspace) {
    require(workspace.queue.size() <= kv6::image::WriteQueue::kCapacity, "queue within its capacity");
    for (const auto& job : workspace.queue.jobs())
        require(job.address >= 0 && job.address + job.length <= 4096, "queued jobs inside the image");
}

// Loads the file as "Загрузить из файла" does: up to 4096 bytes over what
// ReceivedImage held, then the decode for a file load.
void load(kv6::pages::Configuration& configuration, std::span<const std::uint8_t> file) {
    const std::size_t n = std::min<std::size_t>(file.size(), 4096);
    std::copy_n(file.begin(), n, configuration.workspace.ReceivedImage.begin());
    configuration.document.DecodeImage(DecodeSource::FileLoad);
}

kv6::image::Image saved(kv6::pages::Configuration& configuration) {
    configuration.document.EncodeForFile();
    return configuration.workspace.ConfigImage;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 8192) return 0;
    const std::span<const std::uint8_t> file(data, size);
    kv6::image::Image once{};

    for (const DecodeSource source : {DecodeSource::SerialRead, DecodeSource::RemoteRead, DecodeSource::FileLoad}) {
        kv6::pages::Configuration configuration;
        auto& workspace = configuration.workspace;
        if (source == DecodeSource::FileLoad) {
            load(configuration, file);
        } else {
            std::copy_n(file.begin(), std::min<std::size_t>(size, 4096), workspace.ReceivedImage.begin());
            configuration.document.DecodeImage(source);
        }
        require(workspace.ConfigImage == workspace.ReceivedImage, "the decode copies ReceivedImage");
        if (source == DecodeSource::FileLoad) once = saved(configuration);  // for the round trip below

        // Every page button, as after the question was confirmed.
        for (auto* page : configuration.document.pages()) {
            for (const int entry : page->ownEntries()) workspace.flags.set(entry);
            page->queuePageJobs(workspace);
            requireJobsInside(workspace);
        }
        configuration.document.EncodeAll();
        configuration.document.queueWriteAllJobs();
        requireJobsInside(workspace);
        configuration.document.EncodeForFile();
    }

    // Round trip: what one save wrote, loaded and saved again, is unchanged.
    kv6::pages::Configuration second;
    load(second, once);
    require(saved(second) == once, "a saved file loads and saves to the same bytes");
    return 0;
}
