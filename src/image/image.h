#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kv6::image {

// The module's configuration memory map; byte offset = module memory address.
inline constexpr std::size_t kImageSize = 4096;
using Image = std::array<std::uint8_t, kImageSize>;

}  // namespace kv6::image
