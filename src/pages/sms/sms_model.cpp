#include "pages/sms/sms_model.h"

#include <algorithm>

#include "image/field_codec.h"
#include "pages/common/field_kinds.h"
#include "image/win1251.h"
#include "pages/common/field_list.h"

namespace kv6::pages {

namespace {

using image::DecodeStep;
using image::EncodeMode;
using image::Image;
using V = SmsModel::Values;

// Image offsets of the page's fields.
constexpr int kMessages1 = 788;     // messages 1..10, 20 bytes each
constexpr int kMessages11 = 1307;   // messages 11..20
constexpr int kMessageBytes = 2 * SmsModel::kMessageLength;
constexpr int kTargets = 1583;      // two events per byte, first in the low nibble
constexpr int kTargetBytes = SmsModel::kEventCount / 2;
constexpr int kBackupTarget = 1603;
constexpr int kReserves = 1604;     // bit i = event i

// A nibble or byte with no list item written for a list without a selection.
constexpr int kNoSelectionNibble = 0x0F;
constexpr std::uint8_t kNoSelectionByte = 0xFF;

constexpr const char* kEventKeys[SmsModel::kEventCount] = {
    "disarm", "arm", "mainsOff", "mainsOn", "batteryFault", "batteryRestored", "caseOpened", "caseClosed"};

int messageOffset(int message) {
    return message <= 10 ? kMessages1 + kMessageBytes * (message - 1) : kMessages11 + kMessageBytes * (message - 11);
}

int listIndex(int stored) { return stored <= SmsModel::kMaxTarget ? stored : SmsModel::kNoSelection; }

FieldList<V> makeFields() {
    FieldList<V> list;
    for (int n = 1; n <= SmsModel::kMessageCount; ++n)
        list.push_back({"message" + std::to_string(n),
                        "up to 10 characters of Windows-1251 (Latin, Cyrillic, digits, punctuation)",
                        [n](const V& v) { return v.messages[n - 1]; },
                        [n](V& v, const std::string& s) {
                            if (!SmsModel::isMessageText(s)) return false;
                            v.messages[n - 1] = s;
                            return true;
                        }});
    const char* kTargetAccepts = "a number 0..10 (0 = none), or empty for no selection";
    for (int e = 0; e < SmsModel::kEventCount; ++e)
        list.push_back({kEventKeys[e], kTargetAccepts, [e](const V& v) { return rules::choiceText(v.targets[e]); },
                        [e](V& v, const std::string& s) { return rules::setChoice(v.targets[e], s, SmsModel::kMaxTarget, SmsModel::kNoSelection); }});
    for (int e = 0; e < SmsModel::kEventCount; ++e)
        list.push_back({std::string(kEventKeys[e]) + "Reserve", "true, false, 1 or 0",
                        [e](const V& v) { return rules::boolText(v.reserves[e]); },
                        [e](V& v, const std::string& s) {
                            const auto parsed = rules::parseBool(s);
                            if (!parsed) return false;
                            v.reserves[e] = *parsed;
                            return true;
                        }});
    list.push_back({"backupTarget", "a number 0..10 (0 = off), or empty for no selection",
                    [](const V& v) { return rules::choiceText(v.backupTarget); },
                    [](V& v, const std::string& s) { return rules::setChoice(v.backupTarget, s, SmsModel::kMaxTarget, SmsModel::kNoSelection); }});
    return list;
}

const FieldList<V>& fieldList() {
    static const FieldList<V> list = makeFields();
    return list;
}

}  // namespace

bool SmsModel::isMessageText(const std::string& utf8) {
    if (!image::isValidUtf8(utf8)) return false;
    const std::u32string characters = image::utf8ToCodePoints(utf8);
    return characters.size() <= static_cast<std::size_t>(kMessageLength) &&
           std::all_of(characters.begin(), characters.end(), [](char32_t c) {
               return c >= 0x20 && c != 0x7F && image::unicodeToWindows1251(c).has_value();
           });
}

void SmsModel::decode(DecodeStep step, const Image& received, image::DecodeSource) {
    Values& v = m_values;
    switch (step) {
    case DecodeStep::SmsTexts:
        for (int n = 1; n <= kMessageCount; ++n)
            v.messages[n - 1] = image::decodeUtf16Text(received, messageOffset(n), kMessageLength);
        break;
    case DecodeStep::SystemEventSms:
        for (int i = 0; i < kTargetBytes; ++i) {
            const auto [low, high] = image::unpackNibbles(received[kTargets + i]);
            v.targets[2 * i] = listIndex(low);
            v.targets[2 * i + 1] = listIndex(high);
        }
        // Every source holds 1603/1604 (the remote blocks reach 1919), so
        // the page always shows what the module or the file holds.
        for (int e = 0; e < kEventCount; ++e) v.reserves[e] = (received[kReserves] >> e) & 1u;
        v.backupTarget = listIndex(received[kBackupTarget]);
        break;
    default:
        break;
    }
}

void SmsModel::encodeMessages(Image& image) const {
    for (int n = 1; n <= kMessageCount; ++n)
        image::storeUtf16Text(image, messageOffset(n), kMessageLength, m_values.messages[n - 1]);
}

void SmsModel::encodeTargets(Image& image) const {
    auto nibble = [](int target) { return target < 0 ? kNoSelectionNibble : std::min(target, kMaxTarget); };
    for (int i = 0; i < kTargetBytes; ++i)
        image[kTargets + i] = image::packNibbles(nibble(m_values.targets[2 * i]), nibble(m_values.targets[2 * i + 1]));
}

void SmsModel::encodeBackupAndReserves(Image& image) const {
    const int backup = m_values.backupTarget;
    image[kBackupTarget] = backup < 0 ? kNoSelectionByte : static_cast<std::uint8_t>(std::min(backup, kMaxTarget));
    std::uint8_t bits = 0;
    for (int e = 0; e < kEventCount; ++e)
        if (m_values.reserves[e]) bits |= static_cast<std::uint8_t>(1u << e);
    image[kReserves] = bits;
}

// Every encoder writes all twenty messages and the backup number and
// reserve bits, so that a file and "write all settings" hold what the page
// shows.
void SmsModel::encode(image::Workspace& workspace, EncodeMode mode) {
    Image& image = workspace.ConfigImage;
    encodeMessages(image);
    if (mode == EncodeMode::EncodeAll || workspace.flags.isSet(kEntryTargets)) encodeTargets(image);
    encodeBackupAndReserves(image);
}

std::vector<int> SmsModel::ownEntries() const {
    std::vector<int> entries;
    for (int entry = kEntryFirstMessage; entry <= kEntryTargets; ++entry) entries.push_back(entry);
    return entries;
}

void SmsModel::queuePageJobs(image::Workspace& workspace) {
    Image& image = workspace.ConfigImage;
    encodeTargets(image);
    workspace.QueueWrite(kTargets, kTargetBytes);
    encodeMessages(image);
    for (int pair = 0; pair < kMessageCount / 2; ++pair)
        workspace.QueueWrite(messageOffset(2 * pair + 1), 2 * kMessageBytes);
    encodeBackupAndReserves(image);
    workspace.QueueWrite(kBackupTarget, 2);
    for (int entry : ownEntries()) workspace.flags.clear(entry);
}

std::vector<image::PageField> SmsModel::fields() const {
    std::vector<image::PageField> fields = listFieldEntries(fieldList(), m_values);
    markFieldKinds(fields, {{"disarm", image::FieldKind::Number}, {"arm", image::FieldKind::Number}, {"mainsOff", image::FieldKind::Number}, {"mainsOn", image::FieldKind::Number}, {"batteryFault", image::FieldKind::Number}, {"batteryRestored", image::FieldKind::Number}, {"caseOpened", image::FieldKind::Number}, {"caseClosed", image::FieldKind::Number}, {"disarmReserve", image::FieldKind::Boolean}, {"armReserve", image::FieldKind::Boolean}, {"mainsOffReserve", image::FieldKind::Boolean}, {"mainsOnReserve", image::FieldKind::Boolean}, {"batteryFaultReserve", image::FieldKind::Boolean}, {"batteryRestoredReserve", image::FieldKind::Boolean}, {"caseOpenedReserve", image::FieldKind::Boolean}, {"caseClosedReserve", image::FieldKind::Boolean}, {"backupTarget", image::FieldKind::Choice}});
    return fields;
}

std::string SmsModel::setField(const std::string& key, const std::string& value) {
    return setFieldEntry(fieldList(), m_values, key, value);
}

}  // namespace kv6::pages
