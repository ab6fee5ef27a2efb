// Page "GSM номера" (TabSheet2): ten GSM numbers with their functions, the country digit, inputs.
// Image bytes: 14..114, 733..734, 745..746, 750..759, 1028..1047.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/page_model.h"

namespace kv6::pages {

// The "GSM номера" page: the ten GSM numbers with their function, partition
// and code bytes, the country digit, and the alarm parameters of the two
// inputs.
class GsmModel final : public image::PageModel {
public:
    static constexpr int kNumberCount = 10;
    static constexpr int kNumberLength = 10;

    // SectionFlags: one entry per pair of numbers (4: 1-2 ... 8: 9-10, 8 also
    // the country code) and one for both inputs.
    static constexpr int kEntryFirstPair = 4;
    static constexpr int kEntryLastPair = 8;
    static constexpr int kEntryInputs = 10;

    // Function bytes the dialog offers.
    static constexpr std::uint8_t kFunctionNone = 0;
    static constexpr std::uint8_t kFunctionControl = 1;
    static constexpr std::uint8_t kFunctionService = 2;
    static constexpr std::uint8_t kFunctionRearm = 4;
    static constexpr std::uint8_t kFunctionArmDisarm = 7;
    // The dialog's function list in its order: "Нет", "Контроль",
    // "Перепостановка", "Постановка/Снятие", "Сервис".
    static constexpr std::array<std::uint8_t, 5> kFunctionItems = {
        kFunctionNone, kFunctionControl, kFunctionRearm, kFunctionArmDisarm, kFunctionService};

    static constexpr int kMinPartition = 1, kMaxPartition = 8;
    static constexpr int kMinCode = 1, kMaxCode = 24;
    static constexpr int kMinKey = 1, kMaxKey = 2;
    static constexpr int kNoSelection = -1;

    struct Values {
        std::array<std::string, kNumberCount> numbers;  // row values 1..10, as typed or decoded
        std::string countryCode;                          // row 11: one character or empty
        // Index 1..10 belongs to number 1..10; index 0 mirrors index 10.
        std::array<std::uint8_t, kNumberCount + 1> functions{};
        // Indexed by number modulo 10, stored back to back at 1028..1047.
        std::array<std::uint8_t, kNumberCount> partitions{};
        std::array<std::uint8_t, kNumberCount> codes{};
        int input1Number = 0;  // 0 = "Нет", 1..10 = GSM number, kNoSelection
        int input1Key = kMinKey;
        int input2Number = 0;
        int input2Key = kMinKey;
    };

    // What the number dialog TForm2 shows and, on OK, gives back.
    struct NumberDialog {
        std::string number;
        int functionItem = 0;  // index in kFunctionItems, kNoSelection for none
        int partition = kMinPartition;
        int code = kMinCode;
    };

    [[nodiscard]] const Values& values() const { return m_values; }
    [[nodiscard]] Values& values() { return m_values; }

    [[nodiscard]] std::uint8_t function(int number) const { return m_values.functions.at(number); }
    [[nodiscard]] std::uint8_t partition(int number) const { return m_values.partitions.at(number % 10); }
    [[nodiscard]] std::uint8_t code(int number) const { return m_values.codes.at(number % 10); }

    // The SectionFlags entry of number 1..10's pair.
    [[nodiscard]] static int entryOfNumber(int number) { return kEntryFirstPair + (number - 1) / 2; }
    // What a number may hold: printable ASCII (a character above 127 is
    // stored but never comes back on a decode), at most ten characters.
    [[nodiscard]] static bool isNumberText(const std::string& text);
    // The text the page button writes: before the first comma, blanks trimmed.
    [[nodiscard]] static std::string buttonNumberText(const std::string& rowValue);

    // Prepares the number dialog for number 1..10 (its opening steps).
    [[nodiscard]] NumberDialog openNumberDialog(int number) const;
    // OK of the number dialog: the number as typed, the function from the
    // list; partition and code only for "Постановка/Снятие".
    void applyNumberDialog(int number, const NumberDialog& result);

    [[nodiscard]] std::string pageKey() const override { return "gsm"; }
    void decode(image::DecodeStep step, const image::Image& received, image::DecodeSource source) override;
    void encode(image::Workspace& workspace, image::EncodeMode mode) override;
    [[nodiscard]] std::vector<int> ownEntries() const override;
    void queuePageJobs(image::Workspace& workspace) override;
    [[nodiscard]] std::vector<image::PageField> fields() const override;
    std::string setField(const std::string& key, const std::string& value) override;

private:
    void encodeNumber(image::Image& image, int number, image::EncodeMode mode) const;
    void encodeCountryCode(image::Image& image) const;
    void encodeTables(image::Image& image) const;
    void encodeInputs(image::Image& image) const;

    Values m_values;
};

}  // namespace kv6::pages
