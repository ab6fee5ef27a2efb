#include "pages/journal/journal_model.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "image/field_codec.h"
#include "image/module_time.h"

namespace kv6::journal {

namespace {

constexpr int kPartitions = 8;

// Blanks and control characters, as a line's ends lose them before it is searched.
std::string trimmed(const std::string& line) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    const auto first = std::find_if_not(line.begin(), line.end(), blank);
    const auto last = std::find_if_not(line.rbegin(), line.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

char digit(int value) { return static_cast<char>('0' + value); }

}  // namespace

void JournalModel::decode(const image::Image& received, image::DecodeSource source) {
    for (int k = 0; k < kRecordCount; ++k)
        std::copy_n(received.begin() + kRegionOffset + k * kRecordSize, kRecordSize,
                    m_records[static_cast<std::size_t>(k)].begin());
    if (source == image::DecodeSource::SerialRead) m_stateLines = stateLinesOf(received);
    m_decoded = true;
}

std::string JournalModel::codeText(std::uint8_t high, std::uint8_t low) {
    return {digit(high >> 4), digit(high & 0x0F), digit(low >> 4), digit(low & 0x0F)};
}

std::string JournalModel::describe(const std::string& code, const std::vector<std::string>& descriptions) {
    for (const std::string& line : descriptions) {
        const std::string text = trimmed(line);
        if (text.find(code) != std::string::npos) return image::DelimitedField(text, 2, '\t');
    }
    return {};
}

JournalRow JournalModel::rowOf(const Record& r, int zoneHours, const std::vector<std::string>& descriptions) {
    JournalRow row;
    const auto seconds = static_cast<std::uint32_t>(r[0] | r[1] << 8 | r[2] << 16 | std::uint32_t{r[3]} << 24);
    row.time = image::formatLocal(image::localFromModule(seconds, zoneHours), '-');
    row.code = codeText(r[4], r[5]);
    row.description = describe(row.code, descriptions);
    row.partition = r[7];
    row.zone = r[8];
    return row;
}

std::vector<JournalRow> JournalModel::rows(int zoneHours, const std::vector<std::string>& descriptions) const {
    std::vector<JournalRow> rows;
    if (!m_decoded) return rows;
    // Newest first; records of the same time keep their order. Each time
    // is lowered once, not at every comparison.
    std::vector<std::pair<std::string, std::size_t>> order;
    order.reserve(kRecordCount);
    std::vector<JournalRow> unsorted;
    unsorted.reserve(kRecordCount);
    for (const Record& record : m_records) {
        unsorted.push_back(rowOf(record, zoneHours, descriptions));
        order.emplace_back(lowered(unsorted.back().time), order.size());
    }
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    rows.reserve(kRecordCount);
    for (const auto& [key, index] : order) rows.push_back(std::move(unsorted[index]));
    return rows;
}

std::vector<std::string> JournalModel::stateLinesOf(const image::Image& image) {
    std::vector<std::string> lines;
    lines.emplace_back("Последний код:");
    std::string code;
    for (int i = 0; i < 3; ++i) {
        const std::uint8_t byte = image[static_cast<std::size_t>(kLastCodeOffset + i)];
        code += digit(byte & 0x0F);
        code += digit(byte >> 4);
    }
    lines.push_back(code);
    lines.emplace_back("---");
    const std::uint8_t armed = image[kPartitionStateOffset];
    for (int n = 1; n <= kPartitions; ++n)
        lines.push_back("Раздел" + std::to_string(n) + ((armed >> (n - 1)) & 1 ? ": Охране" : ": Снят"));
    lines.emplace_back("---");
    return lines;
}

void JournalModel::ClearJournal(image::Workspace& workspace) {
    std::fill_n(workspace.ConfigImage.begin() + kRegionOffset, kRegionSize, std::uint8_t{0});
    for (int address = kRegionOffset; address < kRegionOffset + kRegionSize; address += kClearJobSize)
        workspace.QueueWrite(address, kClearJobSize);
}

}  // namespace kv6::journal
