// Values for every key of `kv6ctl set`: any bytes as the value of any field
// of any page, on an all-zero, an all-0xFF or a pseudo-random image. A refused
// value changes nothing; an accepted one is shown back and set again without
// a change; the file save afterwards stays inside the image.
#include <cstdint>
#include <random>

#include "fuzz/fuzz_input.h"
#include "image/page_model.h"
#include "pages/configuration.h"

namespace {

using kv6::fuzz::require;

constexpr int kMaxSetsPerInput = 16;

bool sameValues(const std::vector<kv6::image::PageField>& a, const std::vector<kv6::image::PageField>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].key != b[i].key || a[i].value != b[i].value) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kv6::fuzz::FuzzInput in(data, size);
    kv6::pages::Configuration configuration;
    auto& received = configuration.workspace.ReceivedImage;
    switch (const std::uint8_t kind = in.byte(); kind % 3) {
        case 0: received.fill(0); break;
        case 1: received.fill(0xFF); break;
        default: {
            std::mt19937 rng(kind);
            for (auto& b : received) b = static_cast<std::uint8_t>(rng());
        }
    }
    configuration.document.DecodeImage(kv6::image::DecodeSource::FileLoad);
    const auto& pages = configuration.document.pages();
    if (pages.empty()) return 0;

    for (int n = 0; n < kMaxSetsPerInput && !in.done(); ++n) {
        auto* page = pages[in.byte() % pages.size()];
        const auto fields = page->fields();
        if (fields.empty()) continue;
        const std::string key = fields[in.byte() % fields.size()].key;
        const std::string value = in.text(64);

        if (!page->setField(key, value).empty()) {
            require(sameValues(page->fields(), fields), "a refused value changes nothing");
            continue;
        }
        const auto after = page->fields();
        std::string shown;
        for (const auto& f : after)
            if (f.key == key) shown = f.value;
        require(page->setField(key, shown).empty(), "what show prints, set takes back");
        require(sameValues(page->fields(), after), "setting the shown value changes nothing");
    }
    configuration.document.EncodeForFile();
    return 0;
}
