// A settings file for `kv6ctl apply` as any bytes, parsed and applied onto a
// saved file as the command does. Text that is not JSON is refused with a
// message; a settings file that applies without a problem gives a
// configuration whose export, applied onto the same file, saves to the same
// bytes (what apply sets, export shows back).
#include <cstdint>
#include <random>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "pages/configuration.h"
#include "settings/settings_json.h"

namespace {

using kv6::fuzz::require;
using kv6::settings::Json;

// A file as the tool saves it, with every field holding something.
const kv6::image::Image& savedFile() {
    static const kv6::image::Image file = [] {
        kv6::pages::Configuration configuration;
        std::mt19937 rng(2026);
        for (auto& b : configuration.workspace.ReceivedImage) b = static_cast<std::uint8_t>(rng());
        configuration.document.DecodeImage(kv6::image::DecodeSource::FileLoad);
        configuration.document.EncodeForFile();
        return configuration.workspace.ConfigImage;
    }();
    return file;
}

struct LoadedFile {
    LoadedFile() {
        configuration.workspace.ReceivedImage = savedFile();
        configuration.document.DecodeImage(kv6::image::DecodeSource::FileLoad);
    }
    kv6::image::Image save() {
        configuration.document.EncodeForFile();
        return configuration.workspace.ConfigImage;
    }
    kv6::pages::Configuration configuration;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Json json;
    std::string error;
    if (!kv6::settings::parseJson(text, json, error)) {
        require(!error.empty(), "text that is not JSON is refused with a message");
        return 0;
    }
    LoadedFile target;
    if (!kv6::settings::applyJson(target.configuration.document, json).empty()) return 0;
    const kv6::image::Image applied = target.save();

    LoadedFile again;
    const Json exported = kv6::settings::exportDocument(target.configuration.document);
    require(kv6::settings::applyJson(again.configuration.document, exported).empty(), "an export applies without a problem");
    require(again.save() == applied, "export, then apply onto the same file, saves the same bytes");
    return 0;
}
