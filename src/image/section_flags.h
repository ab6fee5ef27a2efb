#pragma once

#include <array>
#include <cstdint>

namespace kv6::image {

// One change flag per configuration section; a page's write button encodes the
// sections whose flags are set. Entry 9 is never used.
class SectionFlags {
public:
    static constexpr int kCount = 36;
    static constexpr int kUnusedEntry = 9;

    [[nodiscard]] bool isSet(int entry) const;
    void set(int entry);
    void clear(int entry);

    void ClearSectionFlags();
    // Sets every entry but the unused one.
    void SetAllSectionFlags();

    [[nodiscard]] const std::array<std::uint8_t, kCount>& entries() const { return m_entries; }

private:
    [[nodiscard]] static bool valid(int entry) { return entry >= 0 && entry < kCount; }
    std::array<std::uint8_t, kCount> m_entries{};
};

}  // namespace kv6::image
