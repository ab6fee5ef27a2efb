#include "pages/object/object_model.h"

#include <algorithm>
#include <array>

#include "image/field_codec.h"
#include "pages/common/field_binding.h"

namespace kv6::pages {

namespace {

using image::DecodeStep;
using image::EncodeMode;
using image::Image;

// Image offsets of the page's fields.
constexpr int kObjectNumber = 0, kObjectNumberLength = 6;
constexpr int kReceiver = 6, kLine = 10, kShortLength = 4;
constexpr int kIpPort = 115, kIpPort2 = 768, kPortLength = 4;
constexpr int kIpAddress = 119, kIpAddress2 = 772, kIpLength = 15;
constexpr int kApn = 134, kUser = 175, kPassword = 196;
constexpr int kCodeDigits = 760;
constexpr int kAttempts = 763;
constexpr int kAttemptTime = 765;
constexpr int kPin = 1022;
constexpr int kSecondIpMode = 1026;
constexpr int kOptionBits = 1508;
constexpr int kPollTime = 1579;

constexpr std::uint8_t kNoPin = 0xFF;
constexpr std::uint8_t kGprsOffBit = 0x01;
constexpr std::uint8_t kProgrammingMessageBit = 0x04;

bool isDigit(std::uint8_t b) { return b >= '0' && b <= '9'; }

using Binding = FieldBinding<ObjectModel::Values>;
using V = ObjectModel::Values;

bool setDigits(std::string& target, const std::string& value, std::size_t length) {
    if (!rules::isDigits(value, length)) return false;
    target = value;
    return true;
}

bool setLettersOrDigits(std::string& target, const std::string& value, std::size_t length) {
    if (!rules::isLettersOrDigits(value, length)) return false;
    target = value;
    return true;
}

bool setIp(std::string& target, const std::string& value) {
    const auto normalised = rules::normaliseDottedIp(value);
    if (!normalised) return false;
    target = *normalised;
    return true;
}

bool setText(std::string& target, const std::string& value, std::size_t length) {
    if (!rules::isDelimitedFieldText(value, length)) return false;
    target = value;
    return true;
}

constexpr const char* kIpAccepts = "an address in the form 000.000.000.000 or a dotted address like 10.0.0.1, or empty";
constexpr const char* kTextAccepts40 = "up to 40 printable ASCII characters without ';'";
constexpr const char* kTextAccepts20 = "up to 20 printable ASCII characters without ';'";
constexpr const char* kBoolAccepts = "true, false, 1 or 0";

const std::array<Binding, 20> kBindings = {{
    {"objectNumber", "up to 6 digits", [](const V& v) { return v.objectNumber; },
     [](V& v, const std::string& s) { return setDigits(v.objectNumber, s, kObjectNumberLength); }},
    {"receiverNumber", "up to 4 letters or digits", [](const V& v) { return v.receiverNumber; },
     [](V& v, const std::string& s) { return setLettersOrDigits(v.receiverNumber, s, kShortLength); }},
    {"lineNumber", "up to 4 letters or digits", [](const V& v) { return v.lineNumber; },
     [](V& v, const std::string& s) { return setLettersOrDigits(v.lineNumber, s, kShortLength); }},
    {"ipAddress", kIpAccepts, [](const V& v) { return v.ipAddress; },
     [](V& v, const std::string& s) { return setIp(v.ipAddress, s); }},
    {"ipPort", "up to 4 digits", [](const V& v) { return v.ipPort; },
     [](V& v, const std::string& s) { return setDigits(v.ipPort, s, kPortLength); }},
    {"apn", kTextAccepts40, [](const V& v) { return v.apn; },
     [](V& v, const std::string& s) { return setText(v.apn, s, ObjectModel::kApnLength); }},
    {"gprsUser", kTextAccepts20, [](const V& v) { return v.gprsUser; },
     [](V& v, const std::string& s) { return setText(v.gprsUser, s, ObjectModel::kUserLength); }},
    {"gprsPassword", kTextAccepts20, [](const V& v) { return v.gprsPassword; },
     [](V& v, const std::string& s) { return setText(v.gprsPassword, s, ObjectModel::kPasswordLength); }},
    {"ipAddress2", kIpAccepts, [](const V& v) { return v.ipAddress2; },
     [](V& v, const std::string& s) { return setIp(v.ipAddress2, s); }},
    {"ipPort2", "up to 4 digits", [](const V& v) { return v.ipPort2; },
     [](V& v, const std::string& s) { return setDigits(v.ipPort2, s, kPortLength); }},
    {"secondIpMode", "0 (unused), 1 (on failure of IP1) or 2 (always)",
     [](const V& v) { return std::to_string(v.secondIpMode); },
     [](V& v, const std::string& s) { return rules::setInt(v.secondIpMode, s, 0, ObjectModel::kMaxSecondIpMode); }, image::FieldKind::Number},
    {"codeDigits", "a number 0..255", [](const V& v) { return std::to_string(v.codeDigits); },
     [](V& v, const std::string& s) { return rules::setInt(v.codeDigits, s, 0, ObjectModel::kMaxCodeDigits); }, image::FieldKind::Number},
    {"pollTimeMinutes", "a number 0..32767", [](const V& v) { return std::to_string(v.pollTimeMinutes); },
     [](V& v, const std::string& s) { return rules::setInt(v.pollTimeMinutes, s, 0, ObjectModel::kMaxPollTime); }, image::FieldKind::Number},
    {"attemptTimeSeconds", "a number 10..100", [](const V& v) { return std::to_string(v.attemptTimeSeconds); },
     [](V& v, const std::string& s) {
         return rules::setInt(v.attemptTimeSeconds, s, ObjectModel::kMinAttemptTime, ObjectModel::kMaxAttemptTime);
     }, image::FieldKind::Number},
    {"attemptsIp1", "a number 1..15", [](const V& v) { return std::to_string(v.attemptsIp1); },
     [](V& v, const std::string& s) {
         return rules::setInt(v.attemptsIp1, s, ObjectModel::kMinAttempts, ObjectModel::kMaxAttempts);
     }, image::FieldKind::Number},
    {"attemptsIp2", "a number 1..15", [](const V& v) { return std::to_string(v.attemptsIp2); },
     [](V& v, const std::string& s) {
         return rules::setInt(v.attemptsIp2, s, ObjectModel::kMinAttempts, ObjectModel::kMaxAttempts);
     }, image::FieldKind::Number},
    {"pinEnabled", kBoolAccepts, [](const V& v) { return rules::boolText(v.pinEnabled); },
     [](V& v, const std::string& s) { return rules::setBool(v.pinEnabled, s); }, image::FieldKind::Boolean},
    {"pin", "up to 4 digits (the PIN is written only when pinEnabled and exactly 4 digits)",
     [](const V& v) { return v.pin; },
     [](V& v, const std::string& s) { return setDigits(v.pin, s, ObjectModel::kPinLength); }},
    {"gprsChannelOff", kBoolAccepts, [](const V& v) { return rules::boolText(v.gprsChannelOff); },
     [](V& v, const std::string& s) { return rules::setBool(v.gprsChannelOff, s); }, image::FieldKind::Boolean},
    {"programmingMessage", kBoolAccepts, [](const V& v) { return rules::boolText(v.programmingMessage); },
     [](V& v, const std::string& s) { return rules::setBool(v.programmingMessage, s); }, image::FieldKind::Boolean},
}};

}  // namespace

bool ObjectModel::pinIsValid() const {
    return m_values.pinEnabled && m_values.pin.size() == kPinLength &&
           std::all_of(m_values.pin.begin(), m_values.pin.end(),
                       [](char c) { return isDigit(static_cast<std::uint8_t>(c)); });
}

void ObjectModel::decode(DecodeStep step, const Image& received, image::DecodeSource) {
    Values& v = m_values;
    switch (step) {
    case DecodeStep::ObjectIdentity:
        v.objectNumber = image::decodeText(received, kObjectNumber, kObjectNumberLength);
        v.receiverNumber = image::decodeText(received, kReceiver, kShortLength);
        v.lineNumber = image::decodeText(received, kLine, kShortLength);
        v.ipAddress = image::decodeText(received, kIpAddress, kIpLength);
        v.ipPort = image::decodeText(received, kIpPort, kPortLength);
        v.apn = image::decodeDelimitedText(received, kApn, kApnLength + 1);
        v.gprsUser = image::decodeDelimitedText(received, kUser, kUserLength + 1);
        v.gprsPassword = image::decodeDelimitedText(received, kPassword, kPasswordLength + 1);
        v.ipAddress2 = image::decodeText(received, kIpAddress2, kIpLength);
        v.ipPort2 = image::decodeText(received, kIpPort2, kPortLength);
        // The radio group has three items; a larger byte selects the last one.
        v.secondIpMode = std::min<int>(received[kSecondIpMode], kMaxSecondIpMode);
        break;
    case DecodeStep::InputsAndCounters:
        v.codeDigits = received[kCodeDigits];
        // The spinner stops at its maximum.
        v.pollTimeMinutes = std::min<int>(image::readU16Le(received, kPollTime), kMaxPollTime);
        break;
    case DecodeStep::Pin: {
        const bool digits = std::all_of(received.begin() + kPin, received.begin() + kPin + kPinLength, isDigit);
        v.pinEnabled = digits;
        v.pin = digits ? std::string(received.begin() + kPin, received.begin() + kPin + kPinLength) : std::string();
        break;
    }
    case DecodeStep::Zones: {
        v.attemptTimeSeconds = std::clamp<int>(received[kAttemptTime], kMinAttemptTime, kMaxAttemptTime);
        // A nibble of 15 would mean 16 attempts; the spinners stop at 15.
        const auto [ip1, ip2] = image::unpackNibbles(received[kAttempts]);
        v.attemptsIp1 = std::min(ip1 + 1, kMaxAttempts);
        v.attemptsIp2 = std::min(ip2 + 1, kMaxAttempts);
        v.gprsChannelOff = (received[kOptionBits] & kGprsOffBit) != 0;
        v.programmingMessage = (received[kOptionBits] & kProgrammingMessageBit) != 0;
        break;
    }
    default:
        break;
    }
}

void ObjectModel::encodeIdentity(Image& image) const {
    image::storeText(image, kObjectNumber, kObjectNumberLength, m_values.objectNumber);
    image::storeText(image, kReceiver, kShortLength, m_values.receiverNumber);
    image::storeText(image, kLine, kShortLength, m_values.lineNumber);
}

void ObjectModel::encodeConnection(Image& image) const {
    image::storeText(image, kIpAddress, kIpLength, m_values.ipAddress);
    image::storeText(image, kIpPort, kPortLength, m_values.ipPort);
    // The delimited codec cuts an over-long text so that ";" still fits.
    image::storeDelimitedText(image, kApn, kApnLength + 1, m_values.apn);
    image::storeDelimitedText(image, kUser, kUserLength + 1, m_values.gprsUser);
    image::storeDelimitedText(image, kPassword, kPasswordLength + 1, m_values.gprsPassword);
    image::storeText(image, kIpAddress2, kIpLength, m_values.ipAddress2);
    image::storeText(image, kIpPort2, kPortLength, m_values.ipPort2);
}

void ObjectModel::encodeCodeDigits(Image& image) const {
    image[kCodeDigits] = static_cast<std::uint8_t>(std::clamp(m_values.codeDigits, 0, kMaxCodeDigits));
}

// The page button changes only this page's bits; the others keep what
// ConfigImage holds.
void ObjectModel::encodeOptionBitsForButton(Image& image) const {
    std::uint8_t bits = 0;
    std::uint8_t owned = 0;
    contributeOptionBits(bits, owned);
    image[kOptionBits] = static_cast<std::uint8_t>((image[kOptionBits] & ~owned) | bits);
}

void ObjectModel::encodeTiming(Image& image) const {
    image::writeU16Le(image, kPollTime, static_cast<std::uint16_t>(std::clamp(m_values.pollTimeMinutes, 0, kMaxPollTime)));
    const int ip1 = std::clamp(m_values.attemptsIp1, kMinAttempts, kMaxAttempts);
    const int ip2 = std::clamp(m_values.attemptsIp2, kMinAttempts, kMaxAttempts);
    image[kAttempts] = image::packNibbles(ip1 - 1, ip2 - 1);
    image[kAttemptTime] =
        static_cast<std::uint8_t>(std::clamp(m_values.attemptTimeSeconds, kMinAttemptTime, kMaxAttemptTime));
}

void ObjectModel::encodePin(Image& image, EncodeMode mode) const {
    const bool valid = pinIsValid();
    // The file save does not store the characters of a PIN it marks absent.
    if (valid || mode != EncodeMode::EncodeForFile) image::storeText(image, kPin, kPinLength, m_values.pin);
    image[kSecondIpMode] = static_cast<std::uint8_t>(std::clamp(m_values.secondIpMode, 0, kMaxSecondIpMode));
    if (!valid) image[kPin] = kNoPin;
}

void ObjectModel::encode(image::Workspace& workspace, EncodeMode mode) {
    Image& image = workspace.ConfigImage;
    const bool all = mode == EncodeMode::EncodeAll;
    auto wanted = [&](int entry) { return all || workspace.flags.isSet(entry); };
    if (wanted(kEntryIdentity)) encodeIdentity(image);
    if (wanted(kEntryConnection)) encodeConnection(image);
    if (wanted(kEntryCodeDigits)) {
        encodeCodeDigits(image);
        // The whole-image encoders rebuild byte 1508 themselves.
        if (mode == EncodeMode::PageButton) encodeOptionBitsForButton(image);
    }
    if (wanted(kEntryTiming)) encodeTiming(image);
    if (wanted(kEntryPin)) encodePin(image, mode);
}

std::vector<int> ObjectModel::ownEntries() const {
    return {kEntryIdentity, kEntryConnection, kEntryCodeDigits, kEntryTiming, kEntryPin};
}

void ObjectModel::queuePageJobs(image::Workspace& workspace) {
    Image& image = workspace.ConfigImage;
    image::SectionFlags& flags = workspace.flags;
    if (flags.isSet(kEntryIdentity)) {
        encodeIdentity(image);
        workspace.QueueWrite(kObjectNumber, 14);
    }
    if (flags.isSet(kEntryConnection)) {
        encodeConnection(image);
        workspace.QueueWrite(kIpPort, 19);
        workspace.QueueWrite(kApn, 41);
        workspace.QueueWrite(kUser, 42);
        workspace.QueueWrite(kIpPort2, 19);
    }
    if (flags.isSet(kEntryCodeDigits)) {
        encodeCodeDigits(image);
        workspace.QueueWrite(kCodeDigits, 1);
        encodeOptionBitsForButton(image);
        workspace.QueueWrite(kOptionBits, 1);
    }
    if (flags.isSet(kEntryTiming)) {
        encodeTiming(image);
        workspace.QueueWrite(kPollTime, 2);
        workspace.QueueWrite(kAttempts, 3);  // 764 goes along as ConfigImage holds it
    }
    if (flags.isSet(kEntryPin)) {
        encodePin(image, EncodeMode::PageButton);
        workspace.QueueWrite(kPin, 5);
    }
    for (int entry : ownEntries()) flags.clear(entry);
}

void ObjectModel::contributeOptionBits(std::uint8_t& bits, std::uint8_t& ownedMask) const {
    ownedMask |= kGprsOffBit | kProgrammingMessageBit;
    bits = static_cast<std::uint8_t>(bits & ~(kGprsOffBit | kProgrammingMessageBit));
    if (m_values.gprsChannelOff) bits |= kGprsOffBit;
    if (m_values.programmingMessage) bits |= kProgrammingMessageBit;
}

std::vector<image::PageField> ObjectModel::fields() const {
    return listFields<Values>(kBindings, m_values);
}

std::string ObjectModel::setField(const std::string& key, const std::string& value) {
    return setBoundField<Values>(kBindings, m_values, key, value);
}

}  // namespace kv6::pages
