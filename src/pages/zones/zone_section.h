#pragma once

#include <cstdint>
#include <string>

#include "image/image.h"
#include "pages/zones/zones_model.h"

// The bytes of the zones section and the codecs of its per-zone tables,
// shared by the zones model's encode/decode and its command-line fields.
namespace kv6::pages::zone_section {


using image::Image;

// Offsets of the section; per-zone tables hold zone z at their start + z - 1.
constexpr int kExpanderFaults = 1048;
constexpr int kTamper = 1049;
constexpr int kStartZone = 1050;
constexpr int kTypes = 1051;
constexpr int kOutput1Mode = 1083, kOutput2Mode = 1084;
constexpr int kOutput1Partitions = 1085, kOutput2Partitions = 1086;
constexpr int kEntryTime = 1087, kExitTime = 1088;
constexpr int kCodes = 1089;  // two bytes per zone
constexpr int kPartitions = 1243;
constexpr int kTclip = 1275;
constexpr int kOptionBits = 1508;
constexpr int kSms = 1545;
constexpr int kSirenTime = 1577;
constexpr int kExpanderZoneBits = 1578;
constexpr int kSmsFlags = 1609;
constexpr int kAntiBounce = 1641;

constexpr std::uint8_t kNoSelection = 255;
constexpr std::uint8_t kTypeFlagBits = ZonesModel::kRestoreBit | ZonesModel::kSirenBit;
constexpr std::uint8_t kReserveBit = 0x01, kSmsRestoreBit = 0x02;
constexpr std::uint8_t kExpanderFaultMask = 0x3F;

inline int at(int table, int zone) { return table + zone - 1; }
inline int listIndex(int value, int count) { return value >= 0 && value < count ? value : -1; }
inline std::uint8_t indexByte(int index) { return static_cast<std::uint8_t>(index < 0 ? kNoSelection : index); }
inline void setBit(std::uint8_t& byte, std::uint8_t bit, bool on) {
    byte = static_cast<std::uint8_t>(on ? (byte | bit) : (byte & ~bit));
}

// The six-bit SMS message number: bits 0..3 in the high nibble of the SMS
// byte, bits 4..5 in the top two bits of the TCLIP byte.
inline int messageOf(std::uint8_t tclip, std::uint8_t sms) { return (sms >> 4) | ((tclip & 0xC0) >> 2); }

inline std::string codeText(const Image& image, int zone) {
    const std::uint8_t first = image[static_cast<std::size_t>(kCodes + 2 * (zone - 1))];
    const std::uint8_t second = image[static_cast<std::size_t>(kCodes + 2 * (zone - 1) + 1)];
    return {static_cast<char>('0' + (first & 0x0F)), static_cast<char>('0' + (second >> 4)),
            static_cast<char>('0' + (second & 0x0F))};
}

inline void storeCode(Image& image, int zone, const std::string& digits) {
    image[static_cast<std::size_t>(kCodes + 2 * (zone - 1))] = static_cast<std::uint8_t>((digits[0] - '0') & 0x0F);
    image[static_cast<std::size_t>(kCodes + 2 * (zone - 1) + 1)] =
        static_cast<std::uint8_t>((((digits[1] - '0') & 0x0F) << 4) | ((digits[2] - '0') & 0x0F));
}

}  // namespace kv6::pages::zone_section
