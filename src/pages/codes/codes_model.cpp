#include "pages/codes/codes_model.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "image/field_codec.h"
#include "pages/common/field_kinds.h"
#include "pages/common/field_rules.h"

namespace kv6::pages {

namespace {

using image::DecodeStep;
using image::EncodeMode;
using image::Image;

// Image offsets of the page's fields.
constexpr int kLegacyCodesOffset = 218;
constexpr int kRearmCode = 242;
constexpr int kCode99Partitions = 243;
constexpr int kPartitionObjectsOffset = 990, kPartitionObjectsLength = 32;
constexpr int kBypassLow = 1159, kBypassLength = 2;  // codes 1..16, 16-bit little-endian
constexpr int kBypassHigh = 1162;                     // codes 17..24
constexpr int kCodePartitions = 1163, kCodePartitionsBlock = 32;  // 1187..1194 go along
constexpr int kCodesLow = 1195, kCodesLowLength = 48;    // codes 1..16
constexpr int kCodesHigh = 1642, kCodesHighLength = 24;  // codes 17..24
constexpr int kOptionBits = 1508;
constexpr int kCodeBytes = 3;
constexpr int kCodePositions = 6;
constexpr int kFirstHighCode = 17;

constexpr std::uint8_t kSixDigitsBit = 0x02;
constexpr std::uint8_t kCode99BypassBit = 0x10;

constexpr const char* kBoolAccepts = "true, false, 1 or 0";
constexpr const char* kPartitionsAccepts = "partition numbers 1..8 joined by commas (1,3), or empty";

int codeOffset(int code) {
    return code < kFirstHighCode ? kCodesLow + kCodeBytes * (code - 1)
                                 : kCodesHigh + kCodeBytes * (code - kFirstHighCode);
}

// Packed code digits: position 2k+1 in the low four bits of byte k, 2k+2 in
// the high four bits; each character gives its low four bits, missing
// positions are 0. Only the first `length` characters count.
void storeCode(Image& image, int offset, const std::string& text, int length) {
    auto digit = [&](int position) -> std::uint8_t {
        return position < length && position < static_cast<int>(text.size())
                   ? static_cast<std::uint8_t>(static_cast<unsigned char>(text[position]) & 0x0F)
                   : 0;
    };
    for (int k = 0; k < kCodeBytes; ++k)
        image[offset + k] = static_cast<std::uint8_t>(digit(2 * k) | (digit(2 * k + 1) << 4));
}

// Each four-bit value v shows as the character 48 + v: "0".."9", ":".."?".
std::string decodeCode(const Image& image, int offset, int length) {
    std::string text;
    for (int position = 0; position < std::min(length, kCodePositions); ++position) {
        const std::uint8_t byte = image[offset + position / 2];
        text.push_back(static_cast<char>('0' + (position % 2 == 0 ? byte & 0x0F : byte >> 4)));
    }
    return text;
}

std::string partitionsText(std::uint8_t mask) {
    std::string text;
    for (int i = 0; i < CodesModel::kPartitions; ++i) {
        if ((mask & (1u << i)) == 0) continue;
        if (!text.empty()) text += ',';
        text += std::to_string(i + 1);
    }
    return text;
}

// "1,3" -> 0b101; empty -> 0. nullopt for anything but numbers 1..8 and commas.
std::optional<std::uint8_t> parsePartitions(const std::string& text) {
    std::uint8_t mask = 0;
    if (text.empty()) return mask;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const auto number = rules::parseIntInRange(std::string_view(text).substr(start, comma - start), 1,
                                                   CodesModel::kPartitions);
        if (!number) return std::nullopt;
        mask = static_cast<std::uint8_t>(mask | (1u << (*number - 1)));
        start = comma + 1;
    }
    return mask;
}

// "code12" with prefix "code" -> 12 when within 1..count.
std::optional<int> keyIndex(const std::string& key, std::string_view prefix, int count) {
    if (key.size() <= prefix.size() || key.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    const std::string_view digits = std::string_view(key).substr(prefix.size());
    if (digits.front() == '0') return std::nullopt;
    return rules::parseIntInRange(digits, 1, count);
}

bool validCode(int code) { return (code >= 1 && code <= CodesModel::kUserCodes) || code == CodesModel::kCode99; }

}  // namespace

void CodesModel::setSixDigits(bool sixDigits) {
    if (sixDigits == m_values.sixDigits) return;
    m_values.sixDigits = sixDigits;
    for (std::string& code : m_values.codes) {
        if (sixDigits)
            code = code.substr(0, 4) + "00";
        else if (code.size() > 4)
            code.resize(4);
    }
}

bool CodesModel::isCodeText(const std::string& text, int length) {
    return text.empty() || (static_cast<int>(text.size()) == length && rules::isDigits(text, text.size()));
}

std::string CodesModel::normalisedObjectNumber(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    std::string trimmed = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (trimmed.size() < kObjectDigits) trimmed.insert(0, kObjectDigits - trimmed.size(), '0');
    trimmed.resize(kObjectDigits);
    return trimmed;
}

std::uint8_t CodesModel::partitionMask(int code) const {
    if (code == kCode99) return m_workspace.ReceivedImage[kCode99Partitions];
    if (!validCode(code)) return 0;
    return m_workspace.ReceivedImage[kCodePartitions + code - 1];
}

void CodesModel::setPartitionMask(int code, std::uint8_t mask) {
    if (code == kCode99)
        m_workspace.ReceivedImage[kCode99Partitions] = mask;
    else if (validCode(code))
        m_workspace.ReceivedImage[kCodePartitions + code - 1] = mask;
}

namespace {
// Where a code's bypass bit lives: byte offset and bit value.
std::pair<int, std::uint8_t> bypassBit(int code) {
    if (code == CodesModel::kCode99) return {kOptionBits, kCode99BypassBit};
    if (code < kFirstHighCode) return {kBypassLow + (code - 1) / 8, static_cast<std::uint8_t>(1u << ((code - 1) % 8))};
    return {kBypassHigh, static_cast<std::uint8_t>(1u << (code - kFirstHighCode))};
}
}  // namespace

bool CodesModel::bypass(int code) const {
    if (!validCode(code)) return false;
    const auto [offset, bit] = bypassBit(code);
    return (m_workspace.ReceivedImage[offset] & bit) != 0;
}

void CodesModel::setBypass(int code, bool allowed) {
    if (!validCode(code)) return;
    const auto [offset, bit] = bypassBit(code);
    std::uint8_t& byte = m_workspace.ReceivedImage[offset];
    byte = static_cast<std::uint8_t>(allowed ? byte | bit : byte & ~bit);
}

void CodesModel::decode(DecodeStep step, const Image& received, image::DecodeSource) {
    Values& v = m_values;
    switch (step) {
    case DecodeStep::GsmNumbers:
        v.rearmCode = received[kRearmCode];
        break;
    case DecodeStep::PartitionObjects:
        for (int p = 0; p < kPartitionObjects; ++p)
            v.partitionObjects[p] = image::decodeBcd(received, kPartitionObjectsOffset + 2 * p, 2);
        break;
    case DecodeStep::Zones:
        v.sixDigits = (received[kOptionBits] & kSixDigitsBit) != 0;
        break;
    case DecodeStep::UserCodes:
        for (int n = 0; n < kLegacyCodes; ++n)
            v.legacyCodes[n] = decodeCode(received, kLegacyCodesOffset + kCodeBytes * n, kLegacyCodeDigits);
        for (int code = 1; code <= kUserCodes; ++code)
            v.codes[code - 1] = decodeCode(received, codeOffset(code), codeLength());
        break;
    default:
        break;
    }
}

// Codes, their partitions (with 1187..1194) and their bypass bits; the file
// save also writes the hidden table.
void CodesModel::encodeCodes(image::Workspace& workspace, EncodeMode mode) const {
    Image& image = workspace.ConfigImage;
    const Image& received = workspace.ReceivedImage;
    for (int code = 1; code <= kUserCodes; ++code)
        storeCode(image, codeOffset(code), m_values.codes[code - 1], codeLength());
    std::copy_n(received.begin() + kCodePartitions, kCodePartitionsBlock, image.begin() + kCodePartitions);
    std::copy_n(received.begin() + kBypassLow, kBypassLength, image.begin() + kBypassLow);
    image[kBypassHigh] = received[kBypassHigh];
    if (mode == EncodeMode::EncodeForFile) {
        for (int n = 0; n < kLegacyCodes; ++n)
            storeCode(image, kLegacyCodesOffset + kCodeBytes * n, m_values.legacyCodes[n],
                      kLegacyCodeDigits);
        image[kRearmCode] = static_cast<std::uint8_t>(m_values.rearmCode);
    }
}

void CodesModel::encodeObjects(Image& image) const {
    for (int p = 0; p < kPartitionObjects; ++p)
        image::storeBcd(image, kPartitionObjectsOffset + 2 * p, 2,
                        normalisedObjectNumber(m_values.partitionObjects[p]));
}

void CodesModel::encode(image::Workspace& workspace, EncodeMode mode) {
    Image& image = workspace.ConfigImage;
    const bool all = mode == EncodeMode::EncodeAll;
    auto wanted = [&](int entry) { return all || workspace.flags.isSet(entry); };
    if (wanted(kEntryCodes)) {
        encodeCodes(workspace, mode);
        // The whole-image encoders rebuild byte 1508 from contributeOptionBits.
        if (mode == EncodeMode::PageButton) {
            const std::uint8_t received = workspace.ReceivedImage[kOptionBits];
            image[kOptionBits] = static_cast<std::uint8_t>(m_values.sixDigits ? received | kSixDigitsBit
                                                                              : received & ~kSixDigitsBit);
        }
    }
    // Code 99's partitions as the code dialog keeps them (also the hidden list's re-arm partitions).
    if (wanted(kEntryRearmPartitions)) image[kCode99Partitions] = workspace.ReceivedImage[kCode99Partitions];
    if (wanted(kEntryObjects)) encodeObjects(image);
}

std::vector<int> CodesModel::ownEntries() const { return {kEntryCodes, kEntryRearmPartitions, kEntryObjects}; }

void CodesModel::queuePageJobs(image::Workspace& workspace) {
    encode(workspace, EncodeMode::PageButton);
    workspace.QueueWrite(kCodesLow, kCodesLowLength);
    workspace.QueueWrite(kCodesHigh, kCodesHighLength);
    workspace.QueueWrite(kCodePartitions, kCodePartitionsBlock);
    workspace.QueueWrite(kCode99Partitions, 1);
    workspace.QueueWrite(kPartitionObjectsOffset, kPartitionObjectsLength);
    workspace.QueueWrite(kBypassLow, kBypassLength);
    workspace.QueueWrite(kBypassHigh, 1);
    workspace.QueueWrite(kOptionBits, 1);
    for (int entry : ownEntries()) workspace.flags.clear(entry);
}

// Bit 1 from the code length list; bit 4 (code 99's bypass) as the code
// dialog keeps it in ReceivedImage.
void CodesModel::contributeOptionBits(std::uint8_t& bits, std::uint8_t& ownedMask) const {
    ownedMask |= kSixDigitsBit | kCode99BypassBit;
    bits = static_cast<std::uint8_t>(bits & ~(kSixDigitsBit | kCode99BypassBit));
    if (m_values.sixDigits) bits |= kSixDigitsBit;
    bits |= m_workspace.ReceivedImage[kOptionBits] & kCode99BypassBit;
}

std::vector<image::PageField> CodesModel::fields() const {
    const Values& v = m_values;
    std::vector<image::PageField> list;
    const char* codeAccepts =
        v.sixDigits ? "6 digits (the code length), or empty" : "4 digits (the code length), or empty";
    list.push_back({"codeLength", std::to_string(codeLength()), "4 or 6"});
    for (int n = 1; n <= kUserCodes; ++n) list.push_back({"code" + std::to_string(n), v.codes[n - 1], codeAccepts});
    for (int n = 1; n <= kUserCodes; ++n)
        list.push_back({"bypass" + std::to_string(n), rules::boolText(bypass(n)), kBoolAccepts});
    for (int n = 1; n <= kUserCodes; ++n)
        list.push_back({"partitions" + std::to_string(n), partitionsText(partitionMask(n)), kPartitionsAccepts});
    list.push_back({"code99Partitions", partitionsText(partitionMask(kCode99)), "one partition number 1..8, or empty"});
    list.push_back({"code99Bypass", rules::boolText(bypass(kCode99)), kBoolAccepts});
    for (int p = 1; p <= kPartitionObjects; ++p)
        list.push_back({"partitionObject" + std::to_string(p), v.partitionObjects[p - 1], "up to 4 digits, or empty"});
    for (int n = 1; n <= kLegacyCodes; ++n)
        list.push_back({"legacyCode" + std::to_string(n), v.legacyCodes[n - 1], "6 digits, or empty"});
    list.push_back({"rearmCode", std::to_string(v.rearmCode), "a number 0..8 (0 = none)"});
    markFieldKinds(list, {{"bypass", image::FieldKind::Boolean}, {"code99Bypass", image::FieldKind::Boolean}, {"codeLength", image::FieldKind::Number}, {"rearmCode", image::FieldKind::Number}});
    return list;
}

// Every field takes back the value it shows, even one no editor would let a
// user type (nibbles 10..15 of a code, a byte 242 above 8, several
// partitions of code 99); anything new must pass the editor's rules.
std::string CodesModel::setField(const std::string& key, const std::string& value) {
    for (const image::PageField& field : fields()) {
        if (field.key != key) continue;
        if (field.value == value) return {};
        const std::string error = setIndexedField(key, value);
        return error.empty() ? error : rules::invalidValue(key, value, field.accepts);
    }
    std::string message = "unknown key \"" + key + "\"; keys: codeLength code1..code24 bypass1..bypass24 "
                          "partitions1..partitions24 code99Partitions code99Bypass "
                          "partitionObject1..partitionObject16 legacyCode1..legacyCode8 rearmCode";
    return message;
}

// Sets a field to a value other than the one it shows; "" on success, else
// a non-empty text (the caller words the message).
std::string CodesModel::setIndexedField(const std::string& key, const std::string& value) {
    const std::string refused = "refused";
    Values& v = m_values;
    if (key == "codeLength") {
        if (value != "4" && value != "6") return refused;
        setSixDigits(value == "6");
        return {};
    }
    if (key == "rearmCode") {
        const auto number = rules::parseIntInRange(value, 0, kLegacyCodes);
        if (!number) return refused;
        v.rearmCode = *number;
        return {};
    }
    if (key == "code99Partitions" || key.rfind("partitions", 0) == 0) {
        const int code = key == "code99Partitions" ? kCode99 : keyIndex(key, "partitions", kUserCodes).value_or(0);
        const auto mask = parsePartitions(value);
        // Code 99 has at most one partition.
        if (!mask || (code == kCode99 && (*mask & (*mask - 1)) != 0)) return refused;
        setPartitionMask(code, *mask);
        return {};
    }
    if (key == "code99Bypass" || key.rfind("bypass", 0) == 0) {
        const int code = key == "code99Bypass" ? kCode99 : keyIndex(key, "bypass", kUserCodes).value_or(0);
        const auto allowed = rules::parseBool(value);
        if (!allowed) return refused;
        setBypass(code, *allowed);
        return {};
    }
    if (const auto n = keyIndex(key, "code", kUserCodes)) {
        if (!isCodeText(value, codeLength())) return refused;
        v.codes[*n - 1] = value;
        return {};
    }
    if (const auto p = keyIndex(key, "partitionObject", kPartitionObjects)) {
        if (!rules::isDigits(value, kObjectDigits)) return refused;
        v.partitionObjects[*p - 1] = normalisedObjectNumber(value);
        return {};
    }
    if (const auto n = keyIndex(key, "legacyCode", kLegacyCodes)) {
        if (!isCodeText(value, kLegacyCodeDigits)) return refused;
        v.legacyCodes[*n - 1] = value;
        return {};
    }
    return refused;
}

}  // namespace kv6::pages
