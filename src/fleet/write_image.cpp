#include "fleet/write_image.h"

#include <algorithm>

#include "fleet/module_image_layout.h"
#include "settings/owned_bits.h"
#include "settings/write_verification.h"

namespace kv6::fleet {

using namespace layout;

namespace {

void markBytes(image::Image& mask, std::size_t offset, std::size_t length, std::uint8_t bits) {
    std::fill_n(mask.begin() + static_cast<std::ptrdiff_t>(offset), length, bits);
}

}  // namespace

image::Image writtenImage(const image::Image& before, const image::Image& source, const WriteOptions& options) {
    image::Image mask = settings::ownedBits(source);
    if (!options.renumber) markBytes(mask, kObjectNumberOffset, kObjectNumberLength, 0x00);
    // A clock in a job is as old as the job: the module keeps its own.
    markBytes(mask, kClockOffset, kClockLength, 0x00);
    // No page owns the password; a whole image brings it only when asked.
    markBytes(mask, kPasswordOffset, 2, options.passwordFromFile ? 0xFF : 0x00);
    return settings::withBitsOf(before, source, mask, settings::writeAllRanges());
}

}  // namespace kv6::fleet
