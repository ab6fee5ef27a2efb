#include "pages/zones_model.h"

#include <algorithm>

#include "pages/field_rules.h"
#include "pages/routing_rules.h"

namespace kv6::pages {

namespace {

using image::DecodeSource;
using image::DecodeStep;
using image::EncodeMode;
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

int at(int table, int zone) { return table + zone - 1; }
int listIndex(int value, int count) { return value >= 0 && value < count ? value : -1; }
std::uint8_t indexByte(int index) { return static_cast<std::uint8_t>(index < 0 ? kNoSelection : index); }
void setBit(std::uint8_t& byte, std::uint8_t bit, bool on) {
    byte = static_cast<std::uint8_t>(on ? (byte | bit) : (byte & ~bit));
}

// The six-bit SMS message number: bits 0..3 in the high nibble of the SMS
// byte, bits 4..5 in the top two bits of the TCLIP byte.
int messageOf(std::uint8_t tclip, std::uint8_t sms) { return (sms >> 4) | ((tclip & 0xC0) >> 2); }

std::string codeText(const Image& image, int zone) {
    const std::uint8_t first = image[static_cast<std::size_t>(kCodes + 2 * (zone - 1))];
    const std::uint8_t second = image[static_cast<std::size_t>(kCodes + 2 * (zone - 1) + 1)];
    return {static_cast<char>('0' + (first & 0x0F)), static_cast<char>('0' + (second >> 4)),
            static_cast<char>('0' + (second & 0x0F))};
}

void storeCode(Image& image, int zone, const std::string& digits) {
    image[static_cast<std::size_t>(kCodes + 2 * (zone - 1))] = static_cast<std::uint8_t>((digits[0] - '0') & 0x0F);
    image[static_cast<std::size_t>(kCodes + 2 * (zone - 1) + 1)] =
        static_cast<std::uint8_t>((((digits[1] - '0') & 0x0F) << 4) | ((digits[2] - '0') & 0x0F));
}

constexpr const char* kBoolAccepts = "true, false, 1 or 0";
constexpr const char* kPartitionsAccepts = "partition numbers 1..8 separated by commas, or empty";
constexpr const char* kTimeAccepts = "a number 0..255 (seconds)";

}  // namespace

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
    if (m_types.hasNumbers()) {
        for (int i = 0; i < m_types.size(); ++i)
            if (m_types.name(i) == m_values.zoneTexts[static_cast<std::size_t>(zone - 1)]) {
                r.typeIndex = i;
                break;
            }
    }
    const std::uint8_t type = image[at(kTypes, zone)];
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
    for (int zone = 1; zone <= kZoneCount; ++zone) {
        const int type = received[at(kTypes, zone)] & ~kTypeFlagBits;
        std::string& text = m_values.zoneTexts[static_cast<std::size_t>(zone - 1)];
        // The preset names carry no number: show the stored one instead.
        if (!m_types.hasNumbers()) {
            text = std::to_string(type);
        } else if (const auto index = m_types.findType(type)) {
            text = m_types.name(*index);
        }
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
    if (source != DecodeSource::RemoteRead)
        v.antiBounce = std::clamp<int>(received[kAntiBounce], kMinAntiBounce, kMaxAntiBounce);
    v.buzzerOff = (received[kOptionBits] & kBuzzerOffBit) != 0;
}

void ZonesModel::encodeValues(Image& image, bool antiBounce) const {
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
    if (antiBounce) image[kAntiBounce] = static_cast<std::uint8_t>(std::clamp(v.antiBounce, kMinAntiBounce, kMaxAntiBounce));
}

void ZonesModel::copyTables(Image& image, bool smsFlags) const {
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
    if (smsFlags) copy(kSmsFlags, kZoneCount);
}

// Both whole-image encoders also store the entry and exit times and the zone
// codes, and the file save the per-zone SMS flags, so that a saved file holds
// what the page shows. Byte 1508 is rebuilt by the document.
void ZonesModel::encode(image::Workspace& workspace, EncodeMode mode) {
    const bool file = mode == EncodeMode::EncodeForFile;
    if (file && !workspace.flags.isSet(kEntryZones)) return;
    encodeValues(workspace.ConfigImage, mode != EncodeMode::EncodeAll);
    copyTables(workspace.ConfigImage, mode != EncodeMode::EncodeAll);
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
        encodeValues(workspace.ConfigImage, true);
        copyTables(workspace.ConfigImage, true);
        workspace.QueueWrite(kTamper, 40);  // 1049..1088
        workspace.QueueWrite(kPartitions, 32);
        workspace.QueueWrite(kSirenTime, 2);
        workspace.QueueWrite(kCodes, 32);
        workspace.QueueWrite(kCodes + 32, 32);
        workspace.QueueWrite(kTclip, 32);
        workspace.QueueWrite(kSms, 32);
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

// ---------------------------------------------------------------------------
// Fields of `kv6ctl show` / `set`. The per-zone values are read from and
// written to ReceivedImage, where the zone dialog keeps them.
// ---------------------------------------------------------------------------

namespace {

const char* const kZoneKeys[] = {"type",     "siren",    "restore",    "cid",        "partition", "tclipTarget",
                                 "tclipKey", "smsTarget", "smsMessage", "smsReserve", "smsRestore"};

std::string zoneValue(const std::string& name, const Image& image, int zone) {
    const std::uint8_t type = image[at(kTypes, zone)];
    const std::uint8_t a = image[at(kTclip, zone)];
    const std::uint8_t b = image[at(kSms, zone)];
    const std::uint8_t f = image[at(kSmsFlags, zone)];
    if (name == "type") return std::to_string(type & ~kTypeFlagBits);
    if (name == "siren") return rules::boolText((type & ZonesModel::kSirenBit) != 0);
    if (name == "restore") return rules::boolText((type & ZonesModel::kRestoreBit) != 0);
    if (name == "cid") return codeText(image, zone);
    if (name == "partition") return std::to_string(image[at(kPartitions, zone)] + 1);
    if (name == "tclipTarget") return routing::choiceText(listIndex(a & 0x0F, ZonesModel::kTargetCount));
    if (name == "tclipKey") {
        const int key = listIndex((a >> 4) & 3, ZonesModel::kKeyCount);
        return key < 0 ? std::string() : std::to_string(key + 1);
    }
    if (name == "smsTarget") return routing::choiceText(listIndex(b & 0x0F, ZonesModel::kTargetCount));
    if (name == "smsMessage") {
        const int message = listIndex(messageOf(a, b), ZonesModel::kMessageCount);
        return message < 0 ? std::string() : std::to_string(message + 1);
    }
    if (name == "smsReserve") return rules::boolText((f & kReserveBit) != 0);
    if (name == "smsRestore") return rules::boolText((f & kSmsRestoreBit) != 0);
    return {};
}

const char* zoneAccepts(const std::string& name) {
    if (name == "type") return "a type number 0..255 with bits 2 and 3 clear (they are siren and restore)";
    if (name == "cid") return "exactly three digits";
    if (name == "partition") return "a partition 1..8";
    if (name == "tclipTarget" || name == "smsTarget") return "a GSM number 0..10 (0 = off)";
    if (name == "tclipKey") return "a key 1..2";
    if (name == "smsMessage") return "a message number 1..20";
    if (name == "typeName") return "nothing: it shows the name of the type number in paramp";
    return kBoolAccepts;
}

// Stores a new value; false when it is refused.
bool storeZoneValue(const std::string& name, Image& image, int zone, const std::string& value) {
    std::uint8_t& type = image[at(kTypes, zone)];
    std::uint8_t& a = image[at(kTclip, zone)];
    std::uint8_t& b = image[at(kSms, zone)];
    std::uint8_t& f = image[at(kSmsFlags, zone)];
    auto number = [&](int min, int max) { return rules::parseIntInRange(value, min, max); };
    auto flag = [&](std::uint8_t& byte, std::uint8_t bit) {
        const auto on = rules::parseBool(value);
        if (on) setBit(byte, bit, *on);
        return on.has_value();
    };
    if (name == "type") {
        const auto n = number(0, 255);
        if (!n || (*n & kTypeFlagBits) != 0) return false;
        type = static_cast<std::uint8_t>(*n | (type & kTypeFlagBits));
        return true;
    }
    if (name == "siren") return flag(type, ZonesModel::kSirenBit);
    if (name == "restore") return flag(type, ZonesModel::kRestoreBit);
    if (name == "smsReserve") return flag(f, kReserveBit);
    if (name == "smsRestore") return flag(f, kSmsRestoreBit);
    if (name == "cid") {
        if (!ZonesModel::isAcceptableCode(value)) return false;
        storeCode(image, zone, value);
        return true;
    }
    std::optional<int> n;
    if (name == "partition" && (n = number(1, ZonesModel::kPartitionCount))) {
        image[at(kPartitions, zone)] = static_cast<std::uint8_t>(*n - 1);
    } else if (name == "tclipTarget" && (n = number(0, ZonesModel::kTargetCount - 1))) {
        a = static_cast<std::uint8_t>((a & 0xF0) | *n);
    } else if (name == "smsTarget" && (n = number(0, ZonesModel::kTargetCount - 1))) {
        b = static_cast<std::uint8_t>((b & 0xF0) | *n);
    } else if (name == "tclipKey" && (n = number(1, ZonesModel::kKeyCount))) {
        a = static_cast<std::uint8_t>((a & ~0x30) | ((*n - 1) << 4));
    } else if (name == "smsMessage" && (n = number(1, ZonesModel::kMessageCount))) {
        const int message = *n - 1;
        a = static_cast<std::uint8_t>((a & 0x3F) | (((message >> 4) & 3) << 6));
        b = static_cast<std::uint8_t>((b & 0x0F) | ((message & 0x0F) << 4));
    }
    return n.has_value();
}

}  // namespace

std::vector<image::PageField> ZonesModel::fields() const {
    const Image& image = m_workspace.ReceivedImage;
    const Values& v = m_values;
    std::vector<image::PageField> out;
    for (int zone = 1; zone <= kZoneCount; ++zone) {
        const std::string n = std::to_string(zone);
        for (const char* key : kZoneKeys) {
            out.push_back({key + n, zoneValue(key, image, zone), zoneAccepts(key)});
            if (std::string(key) != "type" || !m_types.hasNumbers()) continue;
            if (const auto index = m_types.findType(image[at(kTypes, zone)] & ~kTypeFlagBits))
                out.push_back({"typeName" + n, m_types.name(*index), zoneAccepts("typeName")});
        }
    }
    for (int i = 1; i <= kExpanderZones; ++i)
        out.push_back({"expander" + std::to_string(i), rules::boolText((image[kExpanderZoneBits] & (1u << (i - 1))) != 0),
                       kBoolAccepts});
    const char* modeAccepts = "an output mode 0..4, or empty for no selection";
    out.push_back({"output1Mode", routing::choiceText(v.output1Mode), modeAccepts});
    out.push_back({"output2Mode", routing::choiceText(v.output2Mode), modeAccepts});
    out.push_back({"output1Partitions", routing::partitionsText(v.output1Partitions), kPartitionsAccepts});
    out.push_back({"output2Partitions", routing::partitionsText(v.output2Partitions), kPartitionsAccepts});
    out.push_back({"entryTime", std::to_string(v.entryTime), kTimeAccepts});
    out.push_back({"exitTime", std::to_string(v.exitTime), kTimeAccepts});
    out.push_back({"sirenTime", std::to_string(v.sirenTime), kTimeAccepts});
    out.push_back({"antiBounce", std::to_string(v.antiBounce), "a number 1..100"});
    out.push_back({"buzzerOff", rules::boolText(v.buzzerOff), kBoolAccepts});
    out.push_back({"tamper", rules::boolText(v.tamper != 0), kBoolAccepts});
    out.push_back({"startZone", routing::choiceText(v.startZone), "0 (zone 5), 1 (zone 9), 2 (zone 17), or empty"});
    return out;
}

std::string ZonesModel::setZoneField(const std::string& key, const std::string& name, int zone, const std::string& value) {
    Image& image = m_workspace.ReceivedImage;
    if (name == "typeName") {
        const auto index = m_types.hasNumbers() ? m_types.findType(image[at(kTypes, zone)] & ~kTypeFlagBits) : std::nullopt;
        if (index && routing::isShownValue(value, m_types.name(*index))) return {};
        return rules::invalidValue(key, value, zoneAccepts(name));
    }
    if (routing::isShownValue(value, zoneValue(name, image, zone))) return {};
    if (!storeZoneValue(name, image, zone, value)) return rules::invalidValue(key, value, zoneAccepts(name));
    return {};
}

std::string ZonesModel::setField(const std::string& key, const std::string& value) {
    const routing::IndexedKey k = routing::splitIndexedKey(key);
    const bool zoneKey = k.name == "typeName" ||
                         std::find(std::begin(kZoneKeys), std::end(kZoneKeys), k.name) != std::end(kZoneKeys);
    if (zoneKey && k.number >= 1 && k.number <= kZoneCount) return setZoneField(key, k.name, k.number, value);
    const std::vector<image::PageField> current = fields();
    auto found = std::find_if(current.begin(), current.end(), [&](const image::PageField& f) { return f.key == key; });
    if (found == current.end() || zoneKey)
        return "unknown key \"" + key + "\"; keys: type1..32 typeName1..32 siren restore cid partition tclipTarget "
               "tclipKey smsTarget smsMessage smsReserve smsRestore (1..32) expander1..6 output1Mode output2Mode "
               "output1Partitions output2Partitions entryTime exitTime sirenTime antiBounce buzzerOff tamper startZone";
    if (routing::isShownValue(value, found->value)) return {};
    const auto refuse = [&] { return rules::invalidValue(key, value, found->accepts); };
    Values& v = m_values;
    if (k.name == "expander" && k.number >= 1 && k.number <= kExpanderZones) {
        const auto on = rules::parseBool(value);
        if (!on) return refuse();
        setBit(m_workspace.ReceivedImage[kExpanderZoneBits], static_cast<std::uint8_t>(1u << (k.number - 1)), *on);
        return {};
    }
    if (key == "output1Mode" || key == "output2Mode") {
        const auto mode = value.empty() ? std::optional<int>(-1) : rules::parseIntInRange(value, 0, kOutputModeCount - 1);
        if (!mode) return refuse();
        setOutputMode(key == "output1Mode" ? 1 : 2, *mode);
        return {};
    }
    if (key == "output1Partitions" || key == "output2Partitions") {
        const auto mask = routing::parsePartitions(value);
        if (!mask) return refuse();
        // A siren-mode output has its list disabled and empty.
        const int mode = key == "output1Partitions" ? v.output1Mode : v.output2Mode;
        if (isSirenMode(mode) && *mask != 0) return rules::invalidValue(key, value, "only empty while the output is in a siren mode (3 or 4)");
        (key == "output1Partitions" ? v.output1Partitions : v.output2Partitions) = *mask;
        return {};
    }
    if (key == "entryTime" || key == "exitTime" || key == "sirenTime" || key == "antiBounce") {
        const bool bounce = key == "antiBounce";
        const auto n = rules::parseIntInRange(value, bounce ? kMinAntiBounce : 0, bounce ? kMaxAntiBounce : kMaxTime);
        if (!n) return refuse();
        (key == "entryTime" ? v.entryTime : key == "exitTime" ? v.exitTime : key == "sirenTime" ? v.sirenTime : v.antiBounce) = *n;
        return {};
    }
    if (key == "buzzerOff" || key == "tamper") {
        const auto on = rules::parseBool(value);
        if (!on) return refuse();
        if (key == "buzzerOff") v.buzzerOff = *on;
        else v.tamper = *on ? 1 : 0;
        return {};
    }
    // startZone
    const auto n = value.empty() ? std::optional<int>(-1) : rules::parseIntInRange(value, 0, kStartZoneCount - 1);
    if (!n) return refuse();
    v.startZone = *n;
    return {};
}

}  // namespace kv6::pages
