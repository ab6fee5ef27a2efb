#include "settings/owned_bits.h"

#include "pages/configuration.h"

namespace kv6::settings {

image::Image ownedBits(const image::Image& image) {
    pages::Configuration configuration;
    configuration.document.setRemembersFields(false);
    configuration.workspace.ReceivedImage = image;
    configuration.document.DecodeImage(image::DecodeSource::FileLoad);
    image::Image& encoded = configuration.workspace.ConfigImage;
    image::Image owned{};
    // The two whole-image encoders do not cover the same fields; a bit either one writes is a page's.
    for (const bool forFile : {false, true}) {
        const auto encode = [&](std::uint8_t filling) {
            encoded.fill(filling);
            if (forFile)
                configuration.document.EncodeForFile();
            else
                configuration.document.EncodeAll();
            return encoded;
        };
        const image::Image zeros = encode(0x00);
        const image::Image ones = encode(0xFF);
        for (std::size_t i = 0; i < owned.size(); ++i)
            owned[i] = static_cast<std::uint8_t>(owned[i] | ~(zeros[i] ^ ones[i]));
    }
    return owned;
}

image::Image withBitsOf(const image::Image& base, const image::Image& source, const image::Image& mask,
                        const std::vector<ByteSpan>& spans) {
    image::Image result = base;
    for (const ByteSpan& span : spans)
        for (int i = span.begin; i < span.end; ++i) {
            const auto at = static_cast<std::size_t>(i);
            result[at] = static_cast<std::uint8_t>((source[at] & mask[at]) | (base[at] & ~mask[at]));
        }
    return result;
}

}  // namespace kv6::settings
