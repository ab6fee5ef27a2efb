// Page "Объект" (TabSheet1): the object's numbers, its GPRS/IP connection, timing and SIM PIN.
// Image bytes: 0..13, 115..216, 760, 763, 765, 768..786, 1022..1026, 1579..1580; bits 0, 2 of 1508.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/page_model.h"

namespace kv6::pages {

// The "Объект" page: identity of the protected object, the GPRS/IP
// connection, poll and retry timing, the SIM PIN, the second-IP mode, the
// code digit count (760) and option bits 0 and 2 of byte 1508.
class ObjectModel final : public image::PageModel {
public:
    // SectionFlags entries of this page, in the order its button handles them.
    static constexpr int kEntryIdentity = 0;    // 0..13
    static constexpr int kEntryConnection = 1;  // 115..216, 768..786
    static constexpr int kEntryCodeDigits = 2;  // 760 and bits 0/2 of 1508
    static constexpr int kEntryTiming = 3;      // 1579..1580, 763, 765
    static constexpr int kEntryPin = 31;        // 1022..1026

    static constexpr int kApnLength = 40;
    static constexpr int kUserLength = 20;
    static constexpr int kPasswordLength = 20;
    static constexpr int kPinLength = 4;

    static constexpr int kMaxCodeDigits = 255;
    static constexpr int kMaxPollTime = 32767;
    static constexpr int kMinAttemptTime = 10;
    static constexpr int kMaxAttemptTime = 100;
    static constexpr int kMinAttempts = 1;
    static constexpr int kMaxAttempts = 15;
    static constexpr int kMaxSecondIpMode = 2;

    // The editor values, starting at the form's defaults.
    struct Values {
        std::string objectNumber;
        std::string receiverNumber;
        std::string lineNumber;
        std::string ipAddress;
        std::string ipPort;
        std::string apn;
        std::string gprsUser;
        std::string gprsPassword;
        std::string ipAddress2;
        std::string ipPort2;
        int secondIpMode = 0;  // 0 unused, 1 on failure of IP1, 2 always
        int codeDigits = 0;
        int pollTimeMinutes = 0;
        int attemptTimeSeconds = kMinAttemptTime;
        int attemptsIp1 = kMinAttempts;
        int attemptsIp2 = kMinAttempts;
        bool pinEnabled = false;
        std::string pin;
        bool gprsChannelOff = false;
        bool programmingMessage = false;
    };

    [[nodiscard]] const Values& values() const { return m_values; }
    [[nodiscard]] Values& values() { return m_values; }

    // A PIN is written only when enabled and made of exactly four digits;
    // otherwise the module gets "no PIN" (0xFF at 1022).
    [[nodiscard]] bool pinIsValid() const;

    [[nodiscard]] std::string pageKey() const override { return "object"; }
    void decode(image::DecodeStep step, const image::Image& received, image::DecodeSource source) override;
    void encode(image::Workspace& workspace, image::EncodeMode mode) override;
    [[nodiscard]] std::vector<int> ownEntries() const override;
    void queuePageJobs(image::Workspace& workspace) override;
    void contributeOptionBits(std::uint8_t& bits, std::uint8_t& ownedMask) const override;
    [[nodiscard]] std::vector<image::PageField> fields() const override;
    std::string setField(const std::string& key, const std::string& value) override;

private:
    void encodeIdentity(image::Image& image) const;
    void encodeConnection(image::Image& image) const;
    void encodeCodeDigits(image::Image& image) const;
    void encodeOptionBitsForButton(image::Image& image) const;
    void encodeTiming(image::Image& image) const;
    void encodePin(image::Image& image, image::EncodeMode mode) const;

    Values m_values;
};

}  // namespace kv6::pages
