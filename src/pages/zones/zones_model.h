// Page "Характеристики" (TabSheet11): zone types and routing, outputs, times, anti-bounce, buzzer.
// Image bytes: 1048..1152 (1048 only read), 1243..1306, 1545..1578, 1609..1641; bit 3 of 1508.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/page_model.h"
#include "pages/routing/routing_values.h"
#include "pages/routing/zone_type_list.h"

namespace kv6::pages {

// The "Характеристики" page: zone types and per-zone routing, the two
// outputs, entry/exit/siren times, anti-bounce count, buzzer (bit 3 of
// 1508), and the hidden tamper, start zone and expander-fault settings.
// The per-zone tables are edited in place in ReceivedImage and copied into
// ConfigImage when the section is encoded.
class ZonesModel final : public image::PageModel {
public:
    static constexpr int kZoneCount = 32;
    static constexpr int kExpanderZones = 6;
    static constexpr int kOutputModeCount = 5;  // modes 3 and 4 drive a siren
    static constexpr int kStartZoneCount = 3;   // "Зона 5", "Зона 9", "Зона 17"
    static constexpr int kPartitionCount = routing::kPartitionCount;
    static constexpr int kMaxTime = 255;
    static constexpr int kTimeStep = 5;
    static constexpr int kInitialTime = 10;
    static constexpr int kMinAntiBounce = 1;
    static constexpr int kMaxAntiBounce = 100;
    static constexpr int kTargetCount = 11;
    static constexpr int kKeyCount = 2;
    static constexpr int kMessageCount = 20;

    static constexpr int kEntryZones = 33;
    static constexpr int kEntryButton = 34;

    static constexpr std::uint8_t kRestoreBit = 0x04;
    static constexpr std::uint8_t kSirenBit = 0x08;
    static constexpr std::uint8_t kBuzzerOffBit = 0x08;  // of byte 1508

    struct Values {
        int tamper = 0;       // RadioGroup1: 0 "Нет", 1 "Да"
        int startZone = 0;    // ComboBox5, -1 = no selection
        int output1Mode = -1; // ComboBox6, -1 = no selection (shows "по таймеру сирены")
        int output2Mode = -1; // ComboBox8
        std::uint8_t output1Partitions = 0;  // CheckListBox5
        std::uint8_t output2Partitions = 0;  // CheckListBox4
        int entryTime = kInitialTime;        // UpDown5
        int exitTime = kInitialTime;         // UpDown6
        int sirenTime = kInitialTime;        // UpDown11
        int antiBounce = kMinAntiBounce;     // UpDown12
        bool buzzerOff = false;              // CheckBox5
        std::uint8_t expanderFaults = 0;     // CheckListBox3 (1048): decoded after reads only, never encoded
        std::array<std::string, kZoneCount> zoneTexts;  // ValueListEditor8 values
        Values() { zoneTexts.fill("Периметр"); }
    };

    explicit ZonesModel(image::Workspace& workspace) : m_workspace(workspace) {}

    [[nodiscard]] const Values& values() const { return m_values; }
    [[nodiscard]] Values& values() { return m_values; }

    [[nodiscard]] const ZoneTypeList& zoneTypes() const { return m_types; }
    void setZoneTypes(ZoneTypeList types) { m_types = std::move(types); }

    [[nodiscard]] static bool isSirenMode(int mode) { return mode == 3 || mode == 4; }
    // What a change of an output's mode does: a siren mode clears its partitions.
    void setOutputMode(int output, int mode);

    // The zone dialog (zone 1..32): what it shows, and its OK. The OK raises
    // the section's entry.
    [[nodiscard]] ZoneRouting routing(int zone) const;
    void applyRouting(int zone, const ZoneRouting& routing);
    // A zone code the dialog and `set` accept: exactly three digits.
    [[nodiscard]] static bool isAcceptableCode(const std::string& text);

    // The hidden repeated write test: the seven jobs of the section, sent as
    // ConfigImage holds them, without encoding.
    void queueRepeatedWriteJobs(image::Workspace& workspace) const;

    [[nodiscard]] std::string pageKey() const override { return "zones"; }
    void decode(image::DecodeStep step, const image::Image& received, image::DecodeSource source) override;
    void encode(image::Workspace& workspace, image::EncodeMode mode) override;
    [[nodiscard]] std::vector<int> ownEntries() const override { return {kEntryZones, kEntryButton}; }
    void queuePageJobs(image::Workspace& workspace) override;
    void contributeOptionBits(std::uint8_t& bits, std::uint8_t& ownedMask) const override;
    [[nodiscard]] std::vector<image::PageField> fields() const override;
    std::string setField(const std::string& key, const std::string& value) override;

private:
    void decodeZoneTexts(const image::Image& received);
    void encodeValues(image::Image& image) const;
    void copyTables(image::Image& image) const;
    std::string setZoneField(const std::string& key, const std::string& name, int zone, const std::string& value);

    image::Workspace& m_workspace;
    Values m_values;
    ZoneTypeList m_types;
};

}  // namespace kv6::pages
