#pragma once

#include <vector>

#include "image/image.h"
#include "settings/write_verification.h"

namespace kv6::settings {

// The bits of the image the page encoders write (1 = owned): what the pages
// show and set. Every other bit (the module's state, bytes no page reads)
// belongs to whoever holds the image. Found by encoding the image's pages
// over two opposite fillings: a bit that comes out the same both times is
// the encoders' own, one that follows the filling is kept from the image.
[[nodiscard]] image::Image ownedBits(const image::Image& image);

// `base` with `source`'s bits where `mask` is 1, within `spans`: the bytes
// sent are always the source's or the base's own, never an encoding of them.
[[nodiscard]] image::Image withBitsOf(const image::Image& base, const image::Image& source, const image::Image& mask,
                                      const std::vector<ByteSpan>& spans);

}  // namespace kv6::settings
