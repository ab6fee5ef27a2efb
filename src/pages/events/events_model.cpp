#include "pages/events/events_model.h"

#include <algorithm>
#include <array>

#include "image/field_codec.h"
#include "image/win1251.h"
#include "pages/common/field_rules.h"
#include "pages/routing/routing_rules.h"

namespace kv6::pages {

namespace {

using image::DecodeStep;
using image::EncodeMode;
using image::Image;
using Entry = EventsModel::Entry;

// Bytes of an entry.
constexpr int kSmsTarget = 3, kSmsRestoreTarget = 4, kSmsMessage = 5, kSmsRestoreMessage = 6;
constexpr int kTclipTarget = 7, kTclipKey = 8, kTclipRestoreTarget = 9, kTclipRestoreKey = 10;
constexpr int kInfoType = 11;

constexpr std::uint8_t kNoSelection = 255;  // a list without a selection, as an index byte
constexpr int kJobLength = 48;
constexpr int kEntriesPerThird = 12;

// A stored index as a list shows it: beyond the list is no selection.
int listIndex(std::uint8_t byte, int count) { return byte < count ? byte : -1; }
std::uint8_t indexByte(int index) { return static_cast<std::uint8_t>(index < 0 ? kNoSelection : index); }
// The key lists store index + 1, 0 = not set; a 0 shows the first item.
int keyIndex(std::uint8_t byte) { return byte == 0 ? 0 : listIndex(static_cast<std::uint8_t>(byte - 1), EventsModel::kKeyCount); }
std::uint8_t keyByte(int index) { return static_cast<std::uint8_t>(index < 0 ? 0 : index + 1); }

// One exported column of a table row.
struct RowField {
    const char* name;
    const char* accepts;
    std::string (*get)(const Entry&);
    bool (*set)(Entry&, const std::string&);
    image::FieldKind kind = image::FieldKind::Choice;
};

std::string targetText(std::uint8_t b) { return b < EventsModel::kTargetCount ? std::to_string(b) : std::string(); }
bool setTarget(std::uint8_t& b, const std::string& s) {
    if (s.empty()) {
        b = kNoSelection;
        return true;
    }
    const auto n = rules::parseIntInRange(s, 0, EventsModel::kTargetCount - 1);
    if (n) b = static_cast<std::uint8_t>(*n);
    return n.has_value();
}
std::string keyText(std::uint8_t b) { return b <= EventsModel::kKeyCount ? std::to_string(b) : std::string(); }
bool setKey(std::uint8_t& b, const std::string& s) {
    const auto n = rules::parseIntInRange(s, 0, EventsModel::kKeyCount);
    if (n) b = static_cast<std::uint8_t>(*n);
    return n.has_value();
}
// Message numbers as the user sees them: index + 1.
std::string messageText(std::uint8_t b, int count) { return b < count ? std::to_string(b + 1) : std::string(); }
bool setMessage(std::uint8_t& b, const std::string& s, int count) {
    if (s.empty()) {
        b = kNoSelection;
        return true;
    }
    const auto n = rules::parseIntInRange(s, 1, count);
    if (n) b = static_cast<std::uint8_t>(*n - 1);
    return n.has_value();
}
bool setCode(Entry& e, const std::string& s) {
    if (!EventsModel::isAcceptableCode(s)) return false;
    for (int i = 0; i < EventsModel::kCodeLength; ++i)
        e[static_cast<std::size_t>(i)] = i < static_cast<int>(s.size()) ? static_cast<std::uint8_t>(s[static_cast<std::size_t>(i)]) : 0;
    return true;
}

constexpr const char* kTargetAccepts = "a GSM number 0..10 (0 = off) or empty for no selection";
constexpr const char* kKeyAccepts = "a key 1..2, or 0 for not set";

const std::array<RowField, 10> kRowFields = {{
    {"code", "up to 3 ASCII characters (bytes 1..127)", [](const Entry& e) { return EventsModel::codeOf(e); }, setCode,
     image::FieldKind::Text},
    {"tclipTarget", kTargetAccepts, [](const Entry& e) { return targetText(e[kTclipTarget]); },
     [](Entry& e, const std::string& s) { return setTarget(e[kTclipTarget], s); }},
    {"tclipKey", kKeyAccepts, [](const Entry& e) { return keyText(e[kTclipKey]); },
     [](Entry& e, const std::string& s) { return setKey(e[kTclipKey], s); }},
    {"tclipRestoreTarget", kTargetAccepts, [](const Entry& e) { return targetText(e[kTclipRestoreTarget]); },
     [](Entry& e, const std::string& s) { return setTarget(e[kTclipRestoreTarget], s); }},
    {"tclipRestoreKey", kKeyAccepts, [](const Entry& e) { return keyText(e[kTclipRestoreKey]); },
     [](Entry& e, const std::string& s) { return setKey(e[kTclipRestoreKey], s); }},
    {"smsTarget", kTargetAccepts, [](const Entry& e) { return targetText(e[kSmsTarget]); },
     [](Entry& e, const std::string& s) { return setTarget(e[kSmsTarget], s); }},
    {"smsMessage", "a message number 1..20 or empty for no selection",
     [](const Entry& e) { return messageText(e[kSmsMessage], EventsModel::kMessageCount); },
     [](Entry& e, const std::string& s) { return setMessage(e[kSmsMessage], s, EventsModel::kMessageCount); }},
    {"smsRestoreTarget", kTargetAccepts, [](const Entry& e) { return targetText(e[kSmsRestoreTarget]); },
     [](Entry& e, const std::string& s) { return setTarget(e[kSmsRestoreTarget], s); }},
    {"smsRestoreMessage", "a message number 1..5 or empty for no selection",
     [](const Entry& e) { return messageText(e[kSmsRestoreMessage], EventsModel::kRestoreMessageCount); },
     [](Entry& e, const std::string& s) {
         return setMessage(e[kSmsRestoreMessage], s, EventsModel::kRestoreMessageCount);
     }},
    {"infoType", "0 (none), 1 (code), 2 (zone), 3 (device) or empty for no selection",
     [](const Entry& e) { return e[kInfoType] < EventsModel::kInfoTypeCount ? std::to_string(e[kInfoType]) : std::string(); },
     [](Entry& e, const std::string& s) {
         if (s.empty()) {
             e[kInfoType] = kNoSelection;
             return true;
         }
         const auto n = rules::parseIntInRange(s, 0, EventsModel::kInfoTypeCount - 1);
         if (n) e[kInfoType] = static_cast<std::uint8_t>(*n);
         return n.has_value();
     }},
}};

constexpr const char* kLedAccepts = "0 (by the siren timer) or 1 (until the object is disarmed)";
constexpr const char* kPartitionsAccepts = "partition numbers 1..8 separated by commas, or empty";

}  // namespace

Entry EventsModel::entry(int index) const {
    Entry e{};
    if (index < 0 || index >= kEntryCount) return e;
    std::copy_n(m_table.begin() + index * kEntrySize, kEntrySize, e.begin());
    return e;
}

std::string EventsModel::codeOf(const Entry& entry) {
    std::string raw;
    for (int i = 0; i < kCodeLength && entry[static_cast<std::size_t>(i)] != 0; ++i)
        raw.push_back(static_cast<char>(entry[static_cast<std::size_t>(i)]));
    return image::windows1251ToUtf8(raw);
}

std::string EventsModel::code(int index) const { return codeOf(entry(index)); }

bool EventsModel::tclipOn(int index) const {
    const Entry e = entry(index);
    return e[kTclipTarget] != 0 || e[kTclipRestoreTarget] != 0;
}

bool EventsModel::smsOn(int index) const {
    const Entry e = entry(index);
    return e[kSmsTarget] > 0 || e[kSmsRestoreTarget] > 0;
}

bool EventsModel::isAcceptableCode(const std::string& text) {
    return text.size() <= kCodeLength &&
           std::all_of(text.begin(), text.end(), [](char c) {
               const auto byte = static_cast<unsigned char>(c);
               return byte >= 0x01 && byte <= 0x7F;
           });
}

EventRouting EventsModel::routing(int index) const {
    const Entry e = entry(index);
    EventRouting r;
    r.code = codeOf(e);
    r.tclipTarget = listIndex(e[kTclipTarget], kTargetCount);
    r.tclipKey = keyIndex(e[kTclipKey]);
    r.tclipRestoreTarget = listIndex(e[kTclipRestoreTarget], kTargetCount);
    r.tclipRestoreKey = keyIndex(e[kTclipRestoreKey]);
    r.infoType = listIndex(e[kInfoType], kInfoTypeCount);
    r.smsTarget = listIndex(e[kSmsTarget], kTargetCount);
    r.smsMessage = listIndex(e[kSmsMessage], kMessageCount);
    r.smsRestoreTarget = listIndex(e[kSmsRestoreTarget], kTargetCount);
    r.smsRestoreMessage = listIndex(e[kSmsRestoreMessage], kRestoreMessageCount);
    return r;
}

void EventsModel::applyRouting(int index, const EventRouting& r) {
    if (index < 0 || index >= kEntryCount) return;
    Entry e = entry(index);
    // An untouched caption keeps bytes the caption does not show (after a zero, or unprintable).
    if (r.code != codeOf(e)) {
        for (int i = 0; i < kCodeLength; ++i)
            e[static_cast<std::size_t>(i)] =
                i < static_cast<int>(r.code.size()) ? static_cast<std::uint8_t>(r.code[static_cast<std::size_t>(i)]) : 0;
    }
    e[kTclipTarget] = indexByte(r.tclipTarget);
    e[kTclipKey] = keyByte(r.tclipKey);
    e[kTclipRestoreTarget] = indexByte(r.tclipRestoreTarget);
    e[kTclipRestoreKey] = keyByte(r.tclipRestoreKey);
    e[kSmsTarget] = indexByte(r.smsTarget);
    e[kSmsRestoreTarget] = indexByte(r.smsRestoreTarget);
    e[kSmsMessage] = indexByte(r.smsMessage);
    e[kSmsRestoreMessage] = indexByte(r.smsRestoreMessage);
    e[kInfoType] = indexByte(r.infoType);
    std::copy(e.begin(), e.end(), m_table.begin() + index * kEntrySize);
}

int EventsModel::thirdEntryOf(int index) { return kEntryFirstThird + std::clamp(index, 0, kEntryCount - 1) / kEntriesPerThird; }

void EventsModel::decode(DecodeStep step, const Image& received, image::DecodeSource) {
    if (step == DecodeStep::EventTable) {
        std::copy_n(received.begin() + kTableOffset, kTableSize, m_table.begin());
        m_ledMode = received[kLedModeOffset] != 0 ? 1 : 0;
    } else if (step == DecodeStep::PartitionObjects) {
        m_indication = received[kIndicationOffset];
    }
}

void EventsModel::storeTable(Image& image) const { std::copy(m_table.begin(), m_table.end(), image.begin() + kTableOffset); }

// Only the file save writes this page whole; "write all settings" leaves it out.
void EventsModel::encode(image::Workspace& workspace, EncodeMode mode) {
    if (mode == EncodeMode::EncodeAll) return;
    Image& image = workspace.ConfigImage;
    const image::SectionFlags& flags = workspace.flags;
    if (flags.isSet(kEntryTable)) storeTable(image);
    if (flags.isSet(kEntryLedMode)) image[kLedModeOffset] = indexByte(m_ledMode);
    if (flags.isSet(kEntryIndication)) image[kIndicationOffset] = m_indication;
}

void EventsModel::queuePageJobs(image::Workspace& workspace) {
    Image& image = workspace.ConfigImage;
    image::SectionFlags& flags = workspace.flags;
    if (flags.isSet(kEntryTable)) {
        storeTable(image);
        // The last job reaches 24 bytes past the table and sends them as ConfigImage holds them.
        const int thirds[3][2] = {{kTableOffset, 3}, {kTableOffset + 3 * kJobLength, 3}, {kTableOffset + 6 * kJobLength, 2}};
        for (int third = 0; third < 3; ++third) {
            if (!flags.isSet(kEntryFirstThird + third)) continue;
            for (int job = 0; job < thirds[third][1]; ++job) workspace.QueueWrite(thirds[third][0] + job * kJobLength, kJobLength);
        }
    }
    if (flags.isSet(kEntryLedMode)) {
        image[kLedModeOffset] = indexByte(m_ledMode);
        workspace.QueueWrite(kLedModeOffset, 1);
    }
    if (flags.isSet(kEntryIndication)) {
        image[kIndicationOffset] = m_indication;
        workspace.QueueWrite(kIndicationOffset, 1);
    }
    for (int entry = kEntryTable; entry <= kEntryLedMode; ++entry) flags.clear(entry);
    flags.clear(kEntryIndication);
}

std::vector<image::PageField> EventsModel::fields() const {
    std::vector<image::PageField> out;
    out.reserve(kEntryCount * kRowFields.size() + 2);
    for (int row = 1; row <= kEntryCount; ++row) {
        const Entry e = entry(row - 1);
        for (const RowField& f : kRowFields) out.push_back({f.name + std::to_string(row), f.get(e), f.accepts, f.kind});
    }
    out.push_back({"ledMode", std::to_string(m_ledMode), kLedAccepts, image::FieldKind::Number});
    out.push_back({"indicationPartitions", routing::partitionsText(m_indication), kPartitionsAccepts});
    return out;
}

std::string EventsModel::setField(const std::string& key, const std::string& value) {
    if (key == "ledMode") {
        if (routing::isShownValue(value, std::to_string(m_ledMode))) return {};
        const auto n = rules::parseIntInRange(value, 0, 1);
        if (!n) return rules::invalidValue(key, value, kLedAccepts);
        m_ledMode = *n;
        return {};
    }
    if (key == "indicationPartitions") {
        if (routing::isShownValue(value, routing::partitionsText(m_indication))) return {};
        const auto mask = routing::parsePartitions(value);
        if (!mask) return rules::invalidValue(key, value, kPartitionsAccepts);
        m_indication = *mask;
        return {};
    }
    const routing::IndexedKey k = routing::splitIndexedKey(key);
    for (const RowField& f : kRowFields) {
        if (k.name != f.name || k.number < 1 || k.number > kEntryCount) continue;
        const int index = k.number - 1;
        Entry e = entry(index);
        if (routing::isShownValue(value, f.get(e))) return {};
        if (!f.set(e, value)) return rules::invalidValue(key, value, f.accepts);
        std::copy(e.begin(), e.end(), m_table.begin() + index * kEntrySize);
        return {};
    }
    std::string message = "unknown key \"" + key + "\"; keys:";
    for (const RowField& f : kRowFields) message += std::string(" ") + f.name + "1.." + std::to_string(kEntryCount);
    return message + " ledMode indicationPartitions";
}

}  // namespace kv6::pages
