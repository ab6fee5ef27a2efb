#include "pages/zones/zones_model.h"

#include <algorithm>

#include "pages/common/field_rules.h"
#include "pages/routing/routing_rules.h"
#include "pages/zones/zone_section.h"

namespace kv6::pages {

using namespace zone_section;
using image::DecodeSource;
using image::DecodeStep;
using image::EncodeMode;

void ZonesModel::setOutputMode(int output, int mode) {
    int& target = output == 1 ? m_values.output1Mode : m_values.output2Mode;
    std::uint8_t& partitions = output == 1 ? m_values.output1Partitions : m_values.output2Partitions;
    target = mode;
    if (isSirenMode(mode)) partitions = 0;
}

bool ZonesModel::isAcceptableCode(const std::string& text) {
    return text.size() == 3 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

ZoneRouting ZonesModel::routing(int zone) const {
    ZoneRouting r;
    if (zone < 1 || zone > kZoneCount) return r;
    const Image& image = m_workspace.ReceivedImage;
    const std::uint8_t type = image[at(kTypes, zone)];
    // The entry whose name the row shows and whose number the byte holds;
    // none (the byte is kept on OK) when paramp does not list the type.
    if (m_types.hasNumbers()) {
        for (int i = 0; i < m_types.size(); ++i)
            if (m_types.name(i) == m_values.zoneTexts[static_cast<std::size_t>(zone - 1)] &&
                m_types.number(i) == (type & ~kTypeFlagBits)) {
                r.typeIndex = i;
                break;
            }
    }
    r.siren = (type & kSirenBit) != 0;
    r.restore = (type & kRestoreBit) != 0;
    r.code = codeText(image, zone);
    r.partition = std::clamp(image[at(kPartitions, zone)] + 1, 1, kPartitionCount);
    const std::uint8_t a = image[at(kTclip, zone)];
    const std::uint8_t b = image[at(kSms, zone)];
    // A GSM number of "Выкл." leaves the key and the message at their first items.
    if ((a & 0x0F) != 0) {
        r.tclipTarget = listIndex(a & 0x0F, kTargetCount);
        r.tclipKey = listIndex((a >> 4) & 3, kKeyCount);
    }
    if ((b & 0x0F) != 0) {
        r.smsTarget = listIndex(b & 0x0F, kTargetCount);
        r.smsMessage = listIndex(messageOf(a, b), kMessageCount);
    }
    r.expanderShown = zone <= kExpanderZones;
    r.expander = r.expanderShown && (image[kExpanderZoneBits] & (1u << (zone - 1))) != 0;
    const std::uint8_t f = image[at(kSmsFlags, zone)];
    r.smsReserve = (f & kReserveBit) != 0;
    r.smsRestore = (f & kSmsRestoreBit) != 0;
    return r;
}

void ZonesModel::applyRouting(int zone, const ZoneRouting& r) {
    if (zone < 1 || zone > kZoneCount) return;
    Image& image = m_workspace.ReceivedImage;
    // The type with its siren, restore and expander bits changes only when a
    // listed type with a number is chosen; the grid then shows its name.
    const std::optional<int> number = r.typeIndex >= 0 ? m_types.number(r.typeIndex) : std::nullopt;
    if (number) {
        m_values.zoneTexts[static_cast<std::size_t>(zone - 1)] = m_types.name(r.typeIndex);
        std::uint8_t type = static_cast<std::uint8_t>(*number);
        if (zone <= kExpanderZones) setBit(image[kExpanderZoneBits], static_cast<std::uint8_t>(1u << (zone - 1)), r.expander);
        setBit(type, kSirenBit, r.siren);
        setBit(type, kRestoreBit, r.restore);
        image[at(kTypes, zone)] = type;
    }
    // Only three digits read back as they were typed.
    if (isAcceptableCode(r.code)) storeCode(image, zone, r.code);
    // A list without a selection keeps the bits it stands for.
    std::uint8_t a = image[at(kTclip, zone)];
    std::uint8_t b = image[at(kSms, zone)];
    if (r.tclipTarget >= 0) a = static_cast<std::uint8_t>((a & 0xF0) | (r.tclipTarget & 0x0F));
    if (r.tclipKey >= 0) a = static_cast<std::uint8_t>((a & ~0x30) | ((r.tclipKey & 3) << 4));
    if (r.smsMessage >= 0) {
        a = static_cast<std::uint8_t>((a & 0x3F) | (((r.smsMessage >> 4) & 3) << 6));
        b = static_cast<std::uint8_t>((b & 0x0F) | ((r.smsMessage & 0x0F) << 4));
    }
    if (r.smsTarget >= 0) b = static_cast<std::uint8_t>((b & 0xF0) | (r.smsTarget & 0x0F));
    image[at(kTclip, zone)] = a;
    image[at(kSms, zone)] = b;
    image[at(kPartitions, zone)] = static_cast<std::uint8_t>(std::clamp(r.partition, 1, kPartitionCount) - 1);
    std::uint8_t& f = image[at(kSmsFlags, zone)];
    setBit(f, kReserveBit, r.smsReserve);
    setBit(f, kSmsRestoreBit, r.smsRestore);
    m_workspace.flags.set(kEntryZones);
}

void ZonesModel::decodeZoneTexts(const Image& received) {
    const bool numbered = m_types.hasNumbers();
    for (int zone = 1; zone <= kZoneCount; ++zone) {
        const int type = received[at(kTypes, zone)] & ~kTypeFlagBits;
        std::string& text = m_values.zoneTexts[static_cast<std::size_t>(zone - 1)];
        // The preset names carry no number, and a type paramp does not list
        // has no name: show the stored number instead.
        const auto index = numbered ? m_types.findType(type) : std::nullopt;
        text = index ? m_types.name(*index) : std::to_string(type);
    }
}

void ZonesModel::decode(DecodeStep step, const Image& received, DecodeSource source) {
    if (step != DecodeStep::Zones) return;
    Values& v = m_values;
    const bool fromModule = source != DecodeSource::FileLoad;
    if (fromModule) v.expanderFaults = received[kExpanderFaults] & kExpanderFaultMask;
    v.startZone = listIndex(received[kStartZone], kStartZoneCount);
    v.tamper = received[kTamper] != 0 ? 1 : 0;
    decodeZoneTexts(received);
    v.output1Mode = listIndex(received[kOutput1Mode], kOutputModeCount);
    v.output2Mode = listIndex(received[kOutput2Mode], kOutputModeCount);
    v.output1Partitions = received[kOutput1Partitions];
    v.output2Partitions = received[kOutput2Partitions];
    // After a read the mode handlers run last: a siren mode ends with an
    // empty list. After a file load the marks stay.
    if (fromModule) {
        setOutputMode(1, v.output1Mode);
        setOutputMode(2, v.output2Mode);
    }
    v.entryTime = received[kEntryTime];
    v.exitTime = received[kExitTime];
    v.sirenTime = received[kSirenTime];
    // Every source holds the count (the remote blocks reach 1919).
    v.antiBounce = std::clamp<int>(received[kAntiBounce], kMinAntiBounce, kMaxAntiBounce);
    v.buzzerOff = (received[kOptionBits] & kBuzzerOffBit) != 0;
}

void ZonesModel::encodeValues(Image& image) const {
    const Values& v = m_values;
    image[kTamper] = indexByte(v.tamper);
    image[kOutput1Partitions] = v.output1Partitions;
    image[kOutput2Partitions] = v.output2Partitions;
    image[kStartZone] = indexByte(v.startZone);
    image[kOutput1Mode] = indexByte(v.output1Mode);
    image[kOutput2Mode] = indexByte(v.output2Mode);
    image[kEntryTime] = static_cast<std::uint8_t>(std::clamp(v.entryTime, 0, kMaxTime));
    image[kExitTime] = static_cast<std::uint8_t>(std::clamp(v.exitTime, 0, kMaxTime));
    image[kSirenTime] = static_cast<std::uint8_t>(std::clamp(v.sirenTime, 0, kMaxTime));
    image[kAntiBounce] = static_cast<std::uint8_t>(std::clamp(v.antiBounce, kMinAntiBounce, kMaxAntiBounce));
}

void ZonesModel::copyTables(Image& image) const {
    const Image& received = m_workspace.ReceivedImage;
    auto copy = [&](int offset, int length) {
        std::copy_n(received.begin() + offset, length, image.begin() + offset);
    };
    copy(kExpanderZoneBits, 1);
    copy(kTypes, kZoneCount);
    copy(kPartitions, kZoneCount);
    copy(kTclip, kZoneCount);
    copy(kSms, kZoneCount);
    copy(kCodes, 2 * kZoneCount);
    copy(kSmsFlags, kZoneCount);
}

// Both whole-image encoders store everything the page and the zone dialog
// show (times, zone codes, per-zone SMS flags, anti-bounce count), so that a
// saved file and "write all settings" hold what is on screen. Byte 1508 is
// rebuilt by the document.
void ZonesModel::encode(image::Workspace& workspace, EncodeMode mode) {
    const bool file = mode == EncodeMode::EncodeForFile;
    if (file && !workspace.flags.isSet(kEntryZones)) return;
    encodeValues(workspace.ConfigImage);
    copyTables(workspace.ConfigImage);
    if (mode == EncodeMode::PageButton) {
        std::uint8_t& options = workspace.ConfigImage[kOptionBits];
        setBit(options, kBuzzerOffBit, m_values.buzzerOff);
    }
}

void ZonesModel::queuePageJobs(image::Workspace& workspace) {
    if (workspace.flags.isSet(kEntryZones) || workspace.flags.isSet(kEntryButton)) {
        std::uint8_t& options = workspace.ConfigImage[kOptionBits];
        setBit(options, kBuzzerOffBit, m_values.buzzerOff);
        workspace.QueueWrite(kOptionBits, 1);
        encodeValues(workspace.ConfigImage);
        copyTables(workspace.ConfigImage);
        queueRepeatedWriteJobs(workspace);  // 1049..1088 and the zone tables
        workspace.QueueWrite(kSmsFlags, 33);  // with the anti-bounce count
    }
    workspace.flags.clear(kEntryZones);
    workspace.flags.clear(kEntryButton);
}

void ZonesModel::queueRepeatedWriteJobs(image::Workspace& workspace) const {
    workspace.QueueWrite(kTamper, 40);
    workspace.QueueWrite(kPartitions, 32);
    workspace.QueueWrite(kSirenTime, 2);
    workspace.QueueWrite(kCodes, 32);
    workspace.QueueWrite(kCodes + 32, 32);
    workspace.QueueWrite(kTclip, 32);
    workspace.QueueWrite(kSms, 32);
}

void ZonesModel::contributeOptionBits(std::uint8_t& bits, std::uint8_t& ownedMask) const {
    ownedMask |= kBuzzerOffBit;
    setBit(bits, kBuzzerOffBit, m_values.buzzerOff);
}

}  // namespace kv6::pages
