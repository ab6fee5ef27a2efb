#pragma once

// Where a module image keeps what a fleet job guards: the object number,
// the read password and the clock.
#include <cstddef>
#include <cstdint>

#include "image/image.h"
#include "pages/settings/settings_model.h"
#include "remote/remote_session.h"

namespace kv6::fleet::layout {

constexpr std::size_t kPasswordOffset = remote::RemoteSession::kPasswordOffset;
constexpr std::size_t kObjectNumberOffset = 0;
constexpr std::size_t kObjectNumberLength = 6;
constexpr std::size_t kClockOffset = pages::SettingsModel::kClockOffset;
constexpr std::size_t kClockLength = pages::SettingsModel::kNtpServerOffset - pages::SettingsModel::kClockOffset;

[[nodiscard]] inline std::uint16_t passwordOf(const image::Image& image) {
    return static_cast<std::uint16_t>(image[kPasswordOffset] << 8 | image[kPasswordOffset + 1]);
}

}  // namespace kv6::fleet::layout
