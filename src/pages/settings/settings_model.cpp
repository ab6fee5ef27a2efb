#include "pages/settings/settings_model.h"

#include <algorithm>
#include <cstdio>

#include "image/field_codec.h"
#include "pages/common/field_kinds.h"
#include "image/module_time.h"
#include "image/time_zone.h"
#include "pages/common/field_rules.h"

namespace kv6::pages {

namespace {

using image::DecodeSource;
using image::DecodeStep;
using image::EncodeMode;
using image::Image;

constexpr std::uint8_t kEndOfList = 0xFF;
constexpr const char* kDeviceKey = "device";
constexpr const char* kDeviceAccepts =
    "a bus address 0..254, or empty to end the list there (devices are listed without gaps)";
constexpr const char* kClockAccepts =
    "a date and time YYYY-MM-DD hh:mm:ss in the tool's time zone, within the module clock's range";
constexpr const char* kIpAccepts = "an address in the form 000.000.000.000 or a dotted address like 10.0.0.1, or empty";
constexpr const char* kBoolAccepts = "true, false, 1 or 0";

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<int> deviceAddress(const std::string& text) {
    return rules::parseIntInRange(trimmed(text), 0, SettingsModel::kMaxDeviceAddress);
}

// What `kv6ctl show` prints for a text: control characters as \xHH, a
// backslash doubled. A field set to what it shows stays as it is.
std::string shownText(const std::string& value) {
    std::string out;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

bool isCurrentText(const std::string& current, const std::string& value) {
    return value == current || value == shownText(current);
}

bool setServer(std::string& target, const std::string& value) {
    if (isCurrentText(target, value)) return true;
    const auto normalised = rules::normaliseDottedIp(value);
    if (!normalised || !SettingsModel::isServerAddress(*normalised)) return false;
    target = *normalised;
    return true;
}

}  // namespace

bool SettingsModel::isServerAddress(const std::string& text) {
    const auto padded = rules::normaliseDottedIp(text);
    if (!padded) return false;
    for (std::size_t group = 0; group + 3 <= padded->size(); group += 4)
        if (std::stoi(padded->substr(group, 3)) > 255) return false;
    return true;
}

int SettingsModel::zoneHours() const { return image::timeZoneHours(m_values.timeZoneItem); }

std::string SettingsModel::timeZoneText(int item) {
    if (image::timeZoneHours(item) == 0) return {};
    const int hours = item + 1;
    return "GMT+" + std::string(1, static_cast<char>('0' + hours / 10)) + static_cast<char>('0' + hours % 10) + ":00";
}

std::optional<std::array<std::uint8_t, SettingsModel::kMaxDevices>> SettingsModel::deviceTable() const {
    std::array<std::uint8_t, kMaxDevices> table;
    table.fill(kEndOfList);
    const std::size_t rows = std::min<std::size_t>(m_values.devices.size(), kMaxDevices);
    for (std::size_t row = 0; row < rows; ++row) {
        const auto address = deviceAddress(m_values.devices[row].address);
        if (!address) return std::nullopt;
        table[row] = static_cast<std::uint8_t>(*address);
    }
    return table;
}

std::uint32_t SettingsModel::moduleClock() const { return image::moduleFromLocal(m_values.clock, zoneHours()); }

std::uint8_t SettingsModel::ntpIntervalByte() const {
    if (!m_values.ntp || m_values.ntpInterval <= 0) return 0;
    return static_cast<std::uint8_t>(std::min(m_values.ntpInterval, kMaxNtpInterval));
}

bool SettingsModel::addDevice(const std::string& typeLine) {
    if (m_values.devices.size() >= kMaxDevices) return false;
    Device device;
    device.name = trimmed(image::DelimitedField(typeLine, 1, '\t'));
    const std::string address = image::DelimitedField(typeLine, 2, '\t');
    device.address = trimmed(address);
    m_values.devices.push_back(device);
    return true;
}

bool SettingsModel::removeDevice(std::size_t row) {
    if (row >= m_values.devices.size()) return false;
    m_values.devices.erase(m_values.devices.begin() + static_cast<std::ptrdiff_t>(row));
    return true;
}

void SettingsModel::decode(DecodeStep step, const Image& received, DecodeSource source) {
    if (step != DecodeStep::Devices) return;
    Values& v = m_values;
    v.devices.clear();
    const std::uint16_t onBus = image::readU16Le(received, kOnBusOffset);
    for (int i = 0; i < kMaxDevices && received[kDevicesOffset + i] != kEndOfList; ++i) {
        Device device;
        device.address = std::to_string(received[kDevicesOffset + i]);
        if (source != DecodeSource::FileLoad) device.onBus = (onBus >> i) & 1 ? OnBus::Yes : OnBus::No;
        v.devices.push_back(device);
    }
    v.ntpServer = image::decodeText(received, kNtpServerOffset, kServerLength);
    v.programmingServer = image::decodeText(received, kProgrammingServerOffset, kServerLength);
    v.clock = image::localFromModule(image::readU32Le(received, kClockOffset), zoneHours());
    const std::uint8_t interval = received[kNtpIntervalOffset];
    v.ntp = interval != 0;
    if (v.ntp) v.ntpInterval = interval;
}

bool SettingsModel::encodeDevices(Image& image) const {
    const auto table = deviceTable();
    if (!table) return false;
    std::copy(table->begin(), table->end(), image.begin() + kDevicesOffset);
    return true;
}

void SettingsModel::encodeClockAndServers(Image& image) const {
    image::writeU32Le(image, kClockOffset, moduleClock());
    image::storeText(image, kNtpServerOffset, kServerLength, m_values.ntpServer);
    image[kNtpIntervalOffset] = ntpIntervalByte();
    image::storeText(image, kProgrammingServerOffset, kServerLength, m_values.programmingServer);
}

// Both whole-image encoders store everything the page shows, so that a file
// or "write all settings" carries what the page holds.
void SettingsModel::encode(image::Workspace& workspace, EncodeMode mode) {
    Image& image = workspace.ConfigImage;
    if (mode != EncodeMode::PageButton || workspace.flags.isSet(kEntryDevices)) encodeDevices(image);
    if (mode != EncodeMode::PageButton) encodeClockAndServers(image);
}

void SettingsModel::queuePageJobs(image::Workspace& workspace) {
    if (!workspace.flags.isSet(kEntryDevices)) return;
    if (!encodeDevices(workspace.ConfigImage)) return;
    workspace.QueueWrite(kDevicesOffset, kMaxDevices);
    workspace.flags.clear(kEntryDevices);
}

void SettingsModel::queueClockJobs(image::Workspace& workspace) const {
    encodeClockAndServers(workspace.ConfigImage);
    workspace.QueueWrite(kClockOffset, 20);
    workspace.QueueWrite(kProgrammingServerOffset, kServerLength);
}

std::vector<image::PageField> SettingsModel::fields() const {
    std::vector<image::PageField> fields;
    for (int i = 0; i < kMaxDevices; ++i) {
        const auto row = static_cast<std::size_t>(i);
        fields.push_back({kDeviceKey + std::to_string(i + 1),
                          row < m_values.devices.size() ? m_values.devices[row].address : std::string(),
                          kDeviceAccepts});
    }
    fields.push_back({"clock", image::formatLocal(m_values.clock, ':'), kClockAccepts});
    fields.push_back({"ntp", rules::boolText(m_values.ntp), kBoolAccepts});
    fields.push_back({"ntpServer", m_values.ntpServer, kIpAccepts});
    fields.push_back({"ntpInterval", std::to_string(m_values.ntpInterval), "a number 1..255 (hours)"});
    fields.push_back({"programmingServer", m_values.programmingServer, kIpAccepts});
    fields.push_back({"timeZone", timeZoneText(m_values.timeZoneItem),
                      "only the zone shown: it follows the computer's time zone or --time-zone N"});
    markFieldKinds(fields, {{"device", image::FieldKind::Choice}, {"ntp", image::FieldKind::Boolean}, {"ntpInterval", image::FieldKind::Number}});
    return fields;
}

std::string SettingsModel::setDevice(int number, const std::string& key, const std::string& value) {
    auto& devices = m_values.devices;
    const auto row = static_cast<std::size_t>(number - 1);
    const std::string current = row < devices.size() ? devices[row].address : std::string();
    if (value == current) return {};
    if (value.empty()) {
        devices.resize(row);  // the list ends at the first empty
        return {};
    }
    const auto address = rules::parseIntInRange(value, 0, kMaxDeviceAddress);
    if (!address || row > devices.size()) return rules::invalidValue(key, value, kDeviceAccepts);
    if (row == devices.size()) devices.emplace_back();
    devices[row] = Device{std::to_string(*address), {}, OnBus::Unknown};
    return {};
}

std::string SettingsModel::setField(const std::string& key, const std::string& value) {
    Values& v = m_values;
    if (key.rfind(kDeviceKey, 0) == 0) {
        const auto number = rules::parseIntInRange(key.substr(std::char_traits<char>::length(kDeviceKey)), 1,
                                                   kMaxDevices);
        if (number && key == kDeviceKey + std::to_string(*number)) return setDevice(*number, key, value);
    }
    if (key == "clock") {
        if (value == image::formatLocal(v.clock, ':')) return {};
        const auto local = image::parseLocal(value);
        if (!local || !image::fitsModuleTime(*local, zoneHours())) return rules::invalidValue(key, value, kClockAccepts);
        v.clock = *local;
        return {};
    }
    if (key == "ntp") {
        const auto on = rules::parseBool(value);
        if (!on) return rules::invalidValue(key, value, kBoolAccepts);
        v.ntp = *on;
        return {};
    }
    if (key == "ntpServer" || key == "programmingServer") {
        std::string& target = key == "ntpServer" ? v.ntpServer : v.programmingServer;
        return setServer(target, value) ? std::string() : rules::invalidValue(key, value, kIpAccepts);
    }
    if (key == "ntpInterval") {
        const auto hours = rules::parseIntInRange(value, kMinNtpInterval, kMaxNtpInterval);
        if (!hours) return rules::invalidValue(key, value, "a number 1..255 (hours)");
        v.ntpInterval = *hours;
        return {};
    }
    if (key == "timeZone") {
        if (value == timeZoneText(v.timeZoneItem)) return {};
        return rules::invalidValue(key, value,
                                   "only the zone shown (\"" + timeZoneText(v.timeZoneItem) +
                                       "\"): the zone is not kept in the file; choose it with --time-zone N");
    }
    std::string message = "unknown key \"" + key + "\"; keys: device1 .. device16";
    for (const char* name : {"clock", "ntp", "ntpServer", "ntpInterval", "programmingServer", "timeZone"})
        message += std::string(" ") + name;
    return message;
}

}  // namespace kv6::pages
