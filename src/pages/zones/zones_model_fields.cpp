// The zones page's fields for `kv6ctl show` / `set`. The per-zone values
// are read from and written to ReceivedImage, where the zone dialog keeps them.
#include <algorithm>
#include <string_view>

#include "pages/common/field_rules.h"
#include "pages/routing/routing_rules.h"
#include "pages/zones/zone_section.h"
#include "pages/zones/zones_model.h"

namespace kv6::pages {

using namespace zone_section;

namespace {

constexpr const char* kBoolAccepts = "true, false, 1 or 0";
constexpr const char* kPartitionsAccepts = "partition numbers 1..8 separated by commas, or empty";
constexpr const char* kTimeAccepts = "a number 0..255 (seconds)";

const char* const kZoneKeys[] = {"type",     "siren",    "restore",    "cid",        "partition", "tclipTarget",
                                 "tclipKey", "smsTarget", "smsMessage", "smsReserve", "smsRestore"};

std::string zoneValue(std::string_view name, const Image& image, int zone) {
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
    // A GSM number of "Выкл." shows the first key and message, as the zone dialog does.
    if (name == "tclipKey") {
        if ((a & 0x0F) == 0) return "1";
        const int key = listIndex((a >> 4) & 3, ZonesModel::kKeyCount);
        return key < 0 ? std::string() : std::to_string(key + 1);
    }
    if (name == "smsTarget") return routing::choiceText(listIndex(b & 0x0F, ZonesModel::kTargetCount));
    if (name == "smsMessage") {
        if ((b & 0x0F) == 0) return "1";
        const int message = listIndex(messageOf(a, b), ZonesModel::kMessageCount);
        return message < 0 ? std::string() : std::to_string(message + 1);
    }
    if (name == "smsReserve") return rules::boolText((f & kReserveBit) != 0);
    if (name == "smsRestore") return rules::boolText((f & kSmsRestoreBit) != 0);
    return {};
}

image::FieldKind zoneKind(std::string_view name) {
    if (name == "type" || name == "partition") return image::FieldKind::Number;
    if (name == "cid") return image::FieldKind::Text;
    if (name == "tclipTarget" || name == "tclipKey" || name == "smsTarget" || name == "smsMessage")
        return image::FieldKind::Choice;
    return image::FieldKind::Boolean;
}

const char* zoneAccepts(std::string_view name) {
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
    const std::size_t zoneKeys = std::size(kZoneKeys) + 1;  // and typeName
    out.reserve(kZoneCount * zoneKeys + kExpanderZones + 11);
    const bool typeNames = m_types.hasNumbers();
    for (int zone = 1; zone <= kZoneCount; ++zone) {
        const std::string n = std::to_string(zone);
        for (const std::string_view key : kZoneKeys) {
            out.push_back({std::string(key) + n, zoneValue(key, image, zone), zoneAccepts(key), zoneKind(key)});
            if (key != "type" || !typeNames) continue;
            if (const auto index = m_types.findType(image[at(kTypes, zone)] & ~kTypeFlagBits))
                out.push_back({"typeName" + n, m_types.name(*index), zoneAccepts("typeName")});
        }
    }
    for (int i = 1; i <= kExpanderZones; ++i)
        out.push_back({"expander" + std::to_string(i), rules::boolText((image[kExpanderZoneBits] & (1u << (i - 1))) != 0),
                       kBoolAccepts, image::FieldKind::Boolean});
    const char* modeAccepts = "an output mode 0..4, or empty for no selection";
    out.push_back({"output1Mode", routing::choiceText(v.output1Mode), modeAccepts, image::FieldKind::Choice});
    out.push_back({"output2Mode", routing::choiceText(v.output2Mode), modeAccepts, image::FieldKind::Choice});
    out.push_back({"output1Partitions", routing::partitionsText(v.output1Partitions), kPartitionsAccepts});
    out.push_back({"output2Partitions", routing::partitionsText(v.output2Partitions), kPartitionsAccepts});
    out.push_back({"entryTime", std::to_string(v.entryTime), kTimeAccepts, image::FieldKind::Number});
    out.push_back({"exitTime", std::to_string(v.exitTime), kTimeAccepts, image::FieldKind::Number});
    out.push_back({"sirenTime", std::to_string(v.sirenTime), kTimeAccepts, image::FieldKind::Number});
    out.push_back({"antiBounce", std::to_string(v.antiBounce), "a number 1..100", image::FieldKind::Number});
    out.push_back({"buzzerOff", rules::boolText(v.buzzerOff), kBoolAccepts, image::FieldKind::Boolean});
    out.push_back({"tamper", rules::boolText(v.tamper != 0), kBoolAccepts, image::FieldKind::Boolean});
    out.push_back({"startZone", routing::choiceText(v.startZone), "0 (zone 5), 1 (zone 9), 2 (zone 17), or empty", image::FieldKind::Choice});
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
