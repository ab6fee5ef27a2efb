// Page "События" (TabSheet4, hidden): the event routing table, LED mode, indication partitions.
// Image bytes: 246..605, 766, 989.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/page_model.h"
#include "pages/routing/routing_values.h"

namespace kv6::pages {

// The hidden "События" page: the event routing table (246..605, thirty
// entries of twelve bytes), the LED indication mode (766) and the
// indication partitions (989). The page keeps its own working copy of the
// table; the journal reads the same bytes from the image on its own.
class EventsModel final : public image::PageModel {
public:
    static constexpr int kTableOffset = 246;
    static constexpr int kEntrySize = 12;
    static constexpr int kEntryCount = 30;
    static constexpr int kTableSize = kEntrySize * kEntryCount;
    static constexpr int kLedModeOffset = 766;
    static constexpr int kIndicationOffset = 989;

    // SectionFlags entries of this page.
    static constexpr int kEntryTable = 13;
    static constexpr int kEntryFirstThird = 14;  // table entries 0..11; 15: 12..23; 16: 24..29
    static constexpr int kEntryLedMode = 17;
    static constexpr int kEntryIndication = 29;

    static constexpr int kTargetCount = 11;       // "Выкл." and ten GSM numbers
    static constexpr int kKeyCount = 2;
    static constexpr int kMessageCount = routing::kMessageCount;
    static constexpr int kRestoreMessageCount = routing::kRestoreMessageCount;
    static constexpr int kInfoTypeCount = 4;
    static constexpr int kCodeLength = routing::kCodeLength;

    using Entry = std::array<std::uint8_t, kEntrySize>;

    [[nodiscard]] Entry entry(int index) const;
    // The row caption: the code bytes up to the first zero (Windows-1251).
    [[nodiscard]] std::string code(int index) const;
    [[nodiscard]] static std::string codeOf(const Entry& entry);
    // The "TCLIP" and "SMS" columns: "Да" when a target or restore target is set.
    [[nodiscard]] bool tclipOn(int index) const;
    [[nodiscard]] bool smsOn(int index) const;

    // The dialog's view of an entry and its OK. A code text equal to the
    // shown caption keeps the code bytes as they are.
    [[nodiscard]] EventRouting routing(int index) const;
    void applyRouting(int index, const EventRouting& routing);
    // The SectionFlags entry of the third of the table an entry lies in.
    [[nodiscard]] static int thirdEntryOf(int index);

    [[nodiscard]] int ledMode() const { return m_ledMode; }
    void setLedMode(int mode) { m_ledMode = mode; }
    [[nodiscard]] std::uint8_t indicationPartitions() const { return m_indication; }
    void setIndicationPartitions(std::uint8_t mask) { m_indication = mask; }

    // A code the editors accept: up to three ASCII characters; a zero would end
    // it and a character above 127 would not read back as typed.
    [[nodiscard]] static bool isAcceptableCode(const std::string& text);

    [[nodiscard]] std::string pageKey() const override { return "events"; }
    void decode(image::DecodeStep step, const image::Image& received, image::DecodeSource source) override;
    void encode(image::Workspace& workspace, image::EncodeMode mode) override;
    // None: the button sends only what was edited since the last write.
    [[nodiscard]] std::vector<int> ownEntries() const override { return {}; }
    // "Write all settings" leaves the event table, the LED mode and 989 as they are.
    [[nodiscard]] bool sentByWriteAll() const override { return false; }
    void queuePageJobs(image::Workspace& workspace) override;
    [[nodiscard]] std::vector<image::PageField> fields() const override;
    std::string setField(const std::string& key, const std::string& value) override;

private:
    void storeTable(image::Image& image) const;

    std::array<std::uint8_t, kTableSize> m_table{};
    int m_ledMode = 0;  // ComboBox3 of the main window: 0 by the siren timer, 1 until disarmed
    std::uint8_t m_indication = 0;
};

}  // namespace kv6::pages
