// Page "SMS сообщения" (TabSheet6): twenty SMS texts, system events' SMS numbers, backup number.
// Image bytes: 788..987, 1307..1506, 1583..1586, 1603..1604.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/page_model.h"

namespace kv6::pages {

// The "SMS сообщения" page: twenty SMS texts, the GSM number that gets an
// SMS for each of eight system events with its reserve flag, and the SMS
// backup number.
class SmsModel final : public image::PageModel {
public:
    static constexpr int kMessageCount = 20;
    static constexpr int kMessageLength = 10;  // characters (UTF-16 units)
    static constexpr int kEventCount = 8;
    static constexpr int kMaxTarget = 10;      // "GSM Номер 10"
    static constexpr int kNoSelection = -1;

    // SectionFlags: 18..27 raised by edits of messages 1..10 (nothing reads
    // them), 28 the system-event targets.
    static constexpr int kEntryFirstMessage = 18;
    static constexpr int kEntryTargets = 28;

    // The system events in their order on the page and in the image.
    enum Event { Disarm, Arm, MainsOff, MainsOn, BatteryFault, BatteryRestored, CaseOpened, CaseClosed };

    struct Values {
        std::array<std::string, kMessageCount> messages;  // UTF-8
        std::array<int, kEventCount> targets{};            // 0 = "Нет", 1..10, kNoSelection
        std::array<bool, kEventCount> reserves{};
        int backupTarget = kNoSelection;                   // 0 = "Выкл.", 1..10, kNoSelection
    };

    [[nodiscard]] const Values& values() const { return m_values; }
    [[nodiscard]] Values& values() { return m_values; }

    // What a message may hold: at most ten characters, each one Windows-1251
    // holds (the module gets the text through that code page), no control
    // characters.
    [[nodiscard]] static bool isMessageText(const std::string& utf8);

    [[nodiscard]] std::string pageKey() const override { return "sms"; }
    void decode(image::DecodeStep step, const image::Image& received, image::DecodeSource source) override;
    void encode(image::Workspace& workspace, image::EncodeMode mode) override;
    [[nodiscard]] std::vector<int> ownEntries() const override;
    void queuePageJobs(image::Workspace& workspace) override;
    [[nodiscard]] std::vector<image::PageField> fields() const override;
    std::string setField(const std::string& key, const std::string& value) override;

private:
    void encodeMessages(image::Image& image) const;
    void encodeTargets(image::Image& image) const;
    void encodeBackupAndReserves(image::Image& image) const;

    Values m_values;
};

}  // namespace kv6::pages
