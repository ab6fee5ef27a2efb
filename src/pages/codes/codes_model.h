// Page "Коды и Разделы" (TabSheet3): user codes, code 99, partition objects, the code length.
// Image bytes: 218..243, 990..1021, 1159..1160, 1162..1242, 1642..1665; bits 1, 4 of 1508.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/page_model.h"
#include "image/workspace.h"

namespace kv6::pages {

// The "Коды и Разделы" page: user codes 1..24 with their partitions and
// zone-bypass permission, the re-arming code 99, the object number of each of
// 16 partitions, the code length (bit 1 of 1508) and the older hidden table of
// eight codes. The code digit count (760) belongs to the "Объект" page model.
//
// The per-code partitions (1163..1186), the bypass bits (1159..1160, 1162),
// code 99's partitions (243) and its bypass (bit 4 of 1508) are edited in
// place in ReceivedImage, as the code dialog keeps them; every encoder takes
// them from there, so a file save or a write of all settings keeps the edits.
class CodesModel final : public image::PageModel {
public:
    // SectionFlags entries of this page.
    static constexpr int kEntryCodes = 11;            // code tables
    static constexpr int kEntryRearmPartitions = 12;  // 243
    static constexpr int kEntryObjects = 30;          // 990..1021
    // The code length list raises the "Объект" page's entry of 760 and 1508.
    static constexpr int kEntryCodeLength = 2;

    static constexpr int kUserCodes = 24;
    static constexpr int kLegacyCodes = 8;
    static constexpr int kPartitionObjects = 16;
    static constexpr int kPartitions = 8;
    static constexpr int kObjectDigits = 4;
    static constexpr int kLegacyCodeDigits = 6;
    static constexpr int kCode99 = 99;

    struct Values {
        std::array<std::string, kUserCodes> codes;  // rows "Код 1" .. "Код 24"
        bool sixDigits = false;                      // ComboBox9: "6" rather than "4"
        std::array<std::string, kPartitionObjects> partitionObjects;
        std::array<std::string, kLegacyCodes> legacyCodes;
        int rearmCode = 0;  // byte 242 as held: 1..8 marks a hidden-table code, 0 none
    };

    explicit CodesModel(image::Workspace& workspace) : m_workspace(workspace) {}

    [[nodiscard]] const Values& values() const { return m_values; }
    [[nodiscard]] Values& values() { return m_values; }

    [[nodiscard]] int codeLength() const { return m_values.sixDigits ? 6 : 4; }
    // ComboBox9: "6" brings every code to six characters (its first four and
    // "00"), "4" cuts them to four - what the module keeps and a reload shows.
    void setSixDigits(bool sixDigits);

    // A user code as a dialog or `set` may give it: digits, exactly `length`
    // of them, or empty.
    [[nodiscard]] static bool isCodeText(const std::string& text, int length);
    // An object number as stored: trimmed, padded on the left with "0" to
    // four characters; empty stays empty.
    [[nodiscard]] static std::string normalisedObjectNumber(const std::string& text);

    // The values kept in ReceivedImage. `code` is 1..24 or 99; masks are
    // partition bit sets (bit i = partition i + 1).
    [[nodiscard]] std::uint8_t partitionMask(int code) const;
    void setPartitionMask(int code, std::uint8_t mask);
    [[nodiscard]] bool bypass(int code) const;
    void setBypass(int code, bool allowed);

    [[nodiscard]] std::string pageKey() const override { return "codes"; }
    void decode(image::DecodeStep step, const image::Image& received, image::DecodeSource source) override;
    void encode(image::Workspace& workspace, image::EncodeMode mode) override;
    [[nodiscard]] std::vector<int> ownEntries() const override;
    void queuePageJobs(image::Workspace& workspace) override;
    void contributeOptionBits(std::uint8_t& bits, std::uint8_t& ownedMask) const override;
    [[nodiscard]] std::vector<image::PageField> fields() const override;
    std::string setField(const std::string& key, const std::string& value) override;

private:
    void encodeCodes(image::Workspace& workspace, image::EncodeMode mode) const;
    void encodeObjects(image::Image& image) const;
    [[nodiscard]] std::string setIndexedField(const std::string& key, const std::string& value);

    image::Workspace& m_workspace;
    Values m_values;
};

}  // namespace kv6::pages
