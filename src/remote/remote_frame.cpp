#include "remote/remote_frame.h"

namespace kv6::remote {

std::uint8_t RemoteFrame::packPair(char c1, char c2) {
    // The module's packing, applied to any character: digits give BCD.
    const int d1 = static_cast<unsigned char>(c1) - '0';
    const int d2 = static_cast<unsigned char>(c2) - '0';
    return static_cast<std::uint8_t>((d1 * 16 + (d2 & 0x0F)) & 0xFF);
}

std::array<std::uint8_t, 2> RemoteFrame::packObjectNumber(std::string_view objectNumber) {
    std::array<char, 4> c{'0', '0', '0', '0'};
    for (std::size_t i = 0; i < c.size() && i < objectNumber.size(); ++i) c[i] = objectNumber[i];
    return {packPair(c[0], c[1]), packPair(c[2], c[3])};
}

RemoteFrame::RemoteFrame(std::string_view objectNumber, std::uint8_t command) {
    m_bytes[0] = kStart;
    const auto packed = packObjectNumber(objectNumber);
    m_bytes[1] = packed[0];
    m_bytes[2] = packed[1];
    m_bytes[3] = command;
    m_bytes[kSize - 1] = kEnd;
}

RemoteFrame RemoteFrame::read(std::string_view objectNumber, std::uint16_t address) {
    RemoteFrame frame(objectNumber, kRead);
    frame.m_bytes[4] = static_cast<std::uint8_t>(address >> 8);
    frame.m_bytes[5] = static_cast<std::uint8_t>(address & 0xFF);
    frame.m_bytes[6] = kReadLength;
    return frame;
}

std::optional<RemoteFrame> RemoteFrame::write(std::string_view objectNumber, std::uint16_t address,
                                              std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kMaxWriteBytes) return std::nullopt;
    RemoteFrame frame(objectNumber, kWrite);
    frame.m_bytes[4] = static_cast<std::uint8_t>(address >> 8);
    frame.m_bytes[5] = static_cast<std::uint8_t>(address & 0xFF);
    frame.m_bytes[6] = static_cast<std::uint8_t>(bytes.size());
    frame.setData(bytes);
    return frame;
}

RemoteFrame RemoteFrame::password(std::string_view objectNumber, std::uint16_t current, std::uint16_t next) {
    RemoteFrame frame(objectNumber, kPassword);
    const std::array<std::uint8_t, 4> data{
        static_cast<std::uint8_t>(current >> 8), static_cast<std::uint8_t>(current & 0xFF),
        static_cast<std::uint8_t>(next >> 8), static_cast<std::uint8_t>(next & 0xFF)};
    frame.setData(data);
    return frame;
}

void RemoteFrame::setData(std::span<const std::uint8_t> data) {
    std::uint8_t check = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        m_bytes[kDataOffset + i] = data[i];
        check ^= data[i];
    }
    m_bytes[7] = check;
}

RemoteFrame RemoteFrame::reset(std::string_view objectNumber) { return RemoteFrame(objectNumber, kReset); }

RemoteFrame RemoteFrame::keepAlive() {
    RemoteFrame frame({}, 0);
    frame.m_bytes[1] = 0;
    frame.m_bytes[2] = 0;
    return frame;
}

}  // namespace kv6::remote
