#include "pages/gsm/gsm_model.h"

#include <algorithm>

#include "image/field_codec.h"
#include "pages/common/field_kinds.h"
#include "pages/common/field_list.h"

namespace kv6::pages {

namespace {

using image::DecodeStep;
using image::EncodeMode;
using image::Image;
using V = GsmModel::Values;

// Image offsets of the page's fields.
constexpr int kNumbers = 14;         // number N at 14 + 10 * (N - 1)
constexpr int kCountryCode = 114;
constexpr int kInput1 = 733;         // alarm number, then alarm key
constexpr int kInput2 = 745;
constexpr int kFunctions = 750;      // number N at 750 + N mod 10
constexpr int kPartitions = 1028;    // the same indexing; codes follow
constexpr int kCodes = 1038;
constexpr int kPairLength = 2 * GsmModel::kNumberLength;
constexpr int kMaxListIndex = GsmModel::kNumberCount;  // "GSM номер 10"
constexpr std::uint8_t kNoSelectionByte = 0xFF;

int numberOffset(int number) { return kNumbers + GsmModel::kNumberLength * (number - 1); }

bool isBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

int clampOr(int value, int min, int max) { return std::clamp(value, min, max); }

// A list whose index is the stored byte: beyond its items it shows no selection.
int listIndex(std::uint8_t byte) { return byte <= kMaxListIndex ? byte : GsmModel::kNoSelection; }
std::uint8_t listByte(int index) {
    return index < 0 ? kNoSelectionByte : static_cast<std::uint8_t>(std::min(index, kMaxListIndex));
}

bool setByte(std::uint8_t& target, const std::string& value, int min, int max) {
    int parsed = 0;
    if (!rules::setInt(parsed, value, min, max)) return false;
    target = static_cast<std::uint8_t>(parsed);
    return true;
}

FieldList<V> makeFields() {
    FieldList<V> list;
    for (int n = 1; n <= GsmModel::kNumberCount; ++n)
        list.push_back({"number" + std::to_string(n), "up to 10 printable ASCII characters",
                        [n](const V& v) { return v.numbers[n - 1]; },
                        [n](V& v, const std::string& s) {
                            if (!GsmModel::isNumberText(s)) return false;
                            v.numbers[n - 1] = s;
                            return true;
                        }});
    for (int n = 1; n <= GsmModel::kNumberCount; ++n)
        list.push_back({"function" + std::to_string(n),
                        "0 (none), 1 (control), 2 (service), 4 (re-arming) or 7 (arming/disarming)",
                        [n](const V& v) { return std::to_string(v.functions[n]); },
                        [n](V& v, const std::string& s) {
                            const auto parsed = rules::parseIntInRange(s, 0, 255);
                            const auto& items = GsmModel::kFunctionItems;
                            if (!parsed || std::find(items.begin(), items.end(), *parsed) == items.end())
                                return false;
                            v.functions[n] = static_cast<std::uint8_t>(*parsed);
                            if (n == GsmModel::kNumberCount) v.functions[0] = v.functions[n];
                            return true;
                        }});
    for (int n = 1; n <= GsmModel::kNumberCount; ++n)
        list.push_back({"partition" + std::to_string(n), "a number 1..8",
                        [n](const V& v) { return std::to_string(v.partitions[n % 10]); },
                        [n](V& v, const std::string& s) {
                            return setByte(v.partitions[n % 10], s, GsmModel::kMinPartition,
                                           GsmModel::kMaxPartition);
                        }});
    for (int n = 1; n <= GsmModel::kNumberCount; ++n)
        list.push_back({"code" + std::to_string(n), "a number 1..24",
                        [n](const V& v) { return std::to_string(v.codes[n % 10]); },
                        [n](V& v, const std::string& s) {
                            return setByte(v.codes[n % 10], s, GsmModel::kMinCode, GsmModel::kMaxCode);
                        }});
    list.push_back({"countryCode", "one digit, or empty", [](const V& v) { return v.countryCode; },
                    [](V& v, const std::string& s) {
                        if (!rules::isDigits(s, 1)) return false;
                        v.countryCode = s;
                        return true;
                    }});
    const char* kListAccepts = "a number 0..10 (0 = none), or empty for no selection";
    const char* kKeyAccepts = "1 or 2";
    list.push_back({"input1AlarmNumber", kListAccepts, [](const V& v) { return rules::choiceText(v.input1Number); },
                    [](V& v, const std::string& s) { return rules::setChoice(v.input1Number, s, kMaxListIndex, GsmModel::kNoSelection); }});
    list.push_back({"input1AlarmKey", kKeyAccepts, [](const V& v) { return std::to_string(v.input1Key); },
                    [](V& v, const std::string& s) {
                        return rules::setInt(v.input1Key, s, GsmModel::kMinKey, GsmModel::kMaxKey);
                    }});
    list.push_back({"input2AlarmNumber", kListAccepts, [](const V& v) { return rules::choiceText(v.input2Number); },
                    [](V& v, const std::string& s) { return rules::setChoice(v.input2Number, s, kMaxListIndex, GsmModel::kNoSelection); }});
    list.push_back({"input2AlarmKey", kKeyAccepts, [](const V& v) { return std::to_string(v.input2Key); },
                    [](V& v, const std::string& s) {
                        return rules::setInt(v.input2Key, s, GsmModel::kMinKey, GsmModel::kMaxKey);
                    }});
    return list;
}

const FieldList<V>& fieldList() {
    static const FieldList<V> list = makeFields();
    return list;
}

}  // namespace

bool GsmModel::isNumberText(const std::string& text) {
    return text.size() <= static_cast<std::size_t>(kNumberLength) &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

std::string GsmModel::buttonNumberText(const std::string& rowValue) {
    const std::string head = rowValue.substr(0, rowValue.find(','));
    const auto first = std::find_if_not(head.begin(), head.end(), isBlank);
    const auto last = std::find_if_not(head.rbegin(), head.rend(), isBlank).base();
    return first < last ? std::string(first, last) : std::string();
}

GsmModel::NumberDialog GsmModel::openNumberDialog(int number) const {
    NumberDialog dialog;
    if (number < 1 || number > kNumberCount) return dialog;
    dialog.number = buttonNumberText(m_values.numbers[number - 1]);
    const std::uint8_t stored = function(number);
    // A byte the list does not offer opens as "Нет" and stays stored until OK.
    const auto item = std::find(kFunctionItems.begin(), kFunctionItems.end(), stored);
    dialog.functionItem = item == kFunctionItems.end() ? 0 : static_cast<int>(item - kFunctionItems.begin());
    if (stored == kFunctionArmDisarm) {
        // The spinners hold their range whatever the byte says.
        dialog.partition = clampOr(partition(number), kMinPartition, kMaxPartition);
        dialog.code = clampOr(code(number), kMinCode, kMaxCode);
    }
    return dialog;
}

void GsmModel::applyNumberDialog(int number, const NumberDialog& result) {
    if (number < 1 || number > kNumberCount) return;
    m_values.numbers[number - 1] = result.number.substr(0, kNumberLength);
    const bool listed = result.functionItem >= 0 && result.functionItem < static_cast<int>(kFunctionItems.size());
    const std::uint8_t function = listed ? kFunctionItems[result.functionItem] : kFunctionNone;
    m_values.functions[number] = function;
    if (number == kNumberCount) m_values.functions[0] = function;
    if (function == kFunctionArmDisarm) {
        m_values.partitions[number % 10] =
            static_cast<std::uint8_t>(clampOr(result.partition, kMinPartition, kMaxPartition));
        m_values.codes[number % 10] = static_cast<std::uint8_t>(clampOr(result.code, kMinCode, kMaxCode));
    }
}

void GsmModel::decode(DecodeStep step, const Image& received, image::DecodeSource) {
    Values& v = m_values;
    switch (step) {
    case DecodeStep::GsmNumbers:
        for (int n = 1; n <= kNumberCount; ++n) v.numbers[n - 1] = image::decodeText(received, numberOffset(n), kNumberLength);
        v.countryCode = image::decodeText(received, kCountryCode, 1);
        for (int i = 0; i < kNumberCount; ++i) v.functions[i] = received[kFunctions + i];
        v.functions[kNumberCount] = received[kFunctions];
        for (int i = 0; i < kNumberCount; ++i) {
            v.partitions[i] = received[kPartitions + i];
            v.codes[i] = received[kCodes + i];
        }
        break;
    case DecodeStep::InputsAndCounters:
        v.input1Number = listIndex(received[kInput1]);
        v.input2Number = listIndex(received[kInput2]);
        // The key spinners stop at 1 and 2; what they show is what is written.
        v.input1Key = clampOr(received[kInput1 + 1], kMinKey, kMaxKey);
        v.input2Key = clampOr(received[kInput2 + 1], kMinKey, kMaxKey);
        break;
    default:
        break;
    }
}

// The page button writes the text before the first comma, trimmed; the
// whole-image encoders write the row as it stands.
void GsmModel::encodeNumber(Image& image, int number, EncodeMode mode) const {
    const std::string& row = m_values.numbers[number - 1];
    image::storeText(image, numberOffset(number), kNumberLength,
                     mode == EncodeMode::PageButton ? buttonNumberText(row) : row);
}

void GsmModel::encodeCountryCode(Image& image) const {
    image[kCountryCode] = m_values.countryCode.empty() ? 0 : static_cast<std::uint8_t>(m_values.countryCode[0]);
}

void GsmModel::encodeTables(Image& image) const {
    image[kFunctions] = m_values.functions[kNumberCount];
    for (int n = 1; n < kNumberCount; ++n) image[kFunctions + n] = m_values.functions[n];
    std::copy(m_values.partitions.begin(), m_values.partitions.end(), image.begin() + kPartitions);
    std::copy(m_values.codes.begin(), m_values.codes.end(), image.begin() + kCodes);
}

void GsmModel::encodeInputs(Image& image) const {
    image[kInput1] = listByte(m_values.input1Number);
    image[kInput1 + 1] = static_cast<std::uint8_t>(clampOr(m_values.input1Key, kMinKey, kMaxKey));
    image[kInput2] = listByte(m_values.input2Number);
    image[kInput2 + 1] = static_cast<std::uint8_t>(clampOr(m_values.input2Key, kMinKey, kMaxKey));
}

// The file save encodes the country code as well, so that the file holds
// the digit the page shows.
void GsmModel::encode(image::Workspace& workspace, EncodeMode mode) {
    Image& image = workspace.ConfigImage;
    const bool all = mode == EncodeMode::EncodeAll;
    auto wanted = [&](int entry) { return all || workspace.flags.isSet(entry); };
    bool anyPair = false;
    for (int entry = kEntryFirstPair; entry <= kEntryLastPair; ++entry) {
        if (!wanted(entry)) continue;
        anyPair = true;
        const int first = 2 * (entry - kEntryFirstPair) + 1;
        encodeNumber(image, first, mode);
        encodeNumber(image, first + 1, mode);
    }
    if (wanted(kEntryLastPair)) encodeCountryCode(image);
    if (anyPair) encodeTables(image);
    if (wanted(kEntryInputs)) encodeInputs(image);
}

std::vector<int> GsmModel::ownEntries() const { return {4, 5, 6, 7, 8, kEntryInputs}; }

void GsmModel::queuePageJobs(image::Workspace& workspace) {
    Image& image = workspace.ConfigImage;
    image::SectionFlags& flags = workspace.flags;
    bool anyPair = false;
    for (int entry = kEntryFirstPair; entry <= kEntryLastPair; ++entry) {
        if (!flags.isSet(entry)) continue;
        anyPair = true;
        const int first = 2 * (entry - kEntryFirstPair) + 1;
        encodeNumber(image, first, EncodeMode::PageButton);
        encodeNumber(image, first + 1, EncodeMode::PageButton);
        if (entry == kEntryLastPair) {
            encodeCountryCode(image);
            workspace.QueueWrite(numberOffset(first), kPairLength + 1);  // numbers 9, 10 and 114
        } else {
            workspace.QueueWrite(numberOffset(first), kPairLength);
        }
    }
    if (anyPair) {
        encodeTables(image);
        workspace.QueueWrite(kFunctions, kNumberCount);
        workspace.QueueWrite(kPartitions, 2 * kNumberCount);
    }
    if (flags.isSet(kEntryInputs)) {
        encodeInputs(image);
        workspace.QueueWrite(kInput1, 2);
        workspace.QueueWrite(kInput2, 2);
    }
    for (int entry : ownEntries()) flags.clear(entry);
}

std::vector<image::PageField> GsmModel::fields() const {
    std::vector<image::PageField> fields = listFieldEntries(fieldList(), m_values);
    markFieldKinds(fields, {{"function", image::FieldKind::Number}, {"partition", image::FieldKind::Number}, {"code", image::FieldKind::Number},
                            {"input1AlarmNumber", image::FieldKind::Choice}, {"input2AlarmNumber", image::FieldKind::Choice},
                            {"input1AlarmKey", image::FieldKind::Number}, {"input2AlarmKey", image::FieldKind::Number}});
    return fields;
}

std::string GsmModel::setField(const std::string& key, const std::string& value) {
    return setFieldEntry(fieldList(), m_values, key, value);
}

}  // namespace kv6::pages
