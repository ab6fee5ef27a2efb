// Page "Журнал событий" (TabSheet9): the module's event journal and "Состояние прибора".
// Image bytes: 246..695 (read; zeroed by "Очистить журнал событий"), 1156..1158, 1161 (read only).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/image.h"
#include "image/page_model.h"
#include "image/workspace.h"

namespace kv6::journal {

// One row of the journal table, as ListView3 shows it.
struct JournalRow {
    std::string time;         // "Время": "yyyy-mm-dd hh-nn-ss" in the chosen zone
    std::string code;         // "Код" (a hidden column): four characters
    std::string description;  // "Событие"
    int partition = 0;        // "Раздел/Прибор"
    int zone = 0;             // "Зона/Код"
    friend bool operator==(const JournalRow&, const JournalRow&) = default;
};

// The module's event journal (50 records of 9 bytes at 246..695, the same
// bytes as the event routing table) and its state bytes (last code
// 1156..1158, armed partitions 1161), as the last decode left them.
class JournalModel {
public:
    static constexpr int kRecordCount = 50;
    static constexpr int kRecordSize = 9;
    static constexpr int kRegionOffset = 246;
    static constexpr int kRegionSize = kRecordCount * kRecordSize;  // 450: 246..695
    static constexpr int kClearJobSize = 50;
    static constexpr int kLastCodeOffset = 1156;
    static constexpr int kPartitionStateOffset = 1161;

    using Record = std::array<std::uint8_t, kRecordSize>;

    // Every whole-image decode refreshes the journal; only a serial read
    // refreshes the state lines.
    void decode(const image::Image& received, image::DecodeSource source);

    // The table: one row per record, newest first (by the time text,
    // descending), times shown `zoneHours` ahead of module time.
    [[nodiscard]] std::vector<JournalRow> rows(int zoneHours, const std::vector<std::string>& descriptions) const;
    // What "Состояние прибора" shows: empty until a serial read.
    [[nodiscard]] const std::vector<std::string>& stateLines() const { return m_stateLines; }
    [[nodiscard]] bool decoded() const { return m_decoded; }

    // The pieces of a row, for any record.
    [[nodiscard]] static JournalRow rowOf(const Record& record, int zoneHours,
                                          const std::vector<std::string>& descriptions);
    [[nodiscard]] static std::string codeText(std::uint8_t high, std::uint8_t low);
    // The second tab field of the first line that contains the code
    // ("FALSE" when that line has none); empty when no line does.
    [[nodiscard]] static std::string describe(const std::string& code, const std::vector<std::string>& descriptions);
    [[nodiscard]] static std::vector<std::string> stateLinesOf(const image::Image& image);

    // N13Click after its question: zeroes ConfigImage 246..695 and queues
    // nine jobs of 50 bytes. The table keeps what it shows until the next read.
    static void ClearJournal(image::Workspace& workspace);

private:
    std::array<Record, kRecordCount> m_records{};
    std::vector<std::string> m_stateLines;
    bool m_decoded = false;
};

}  // namespace kv6::journal
