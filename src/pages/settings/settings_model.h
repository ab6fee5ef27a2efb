// Page "Настройки " (TabSheet8): devices on the module's bus, the clock, NTP and programming servers.
// Image bytes: 1509..1544, 1588..1602; 1581..1582 only read.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/page_model.h"

namespace kv6::pages {

// The "Настройки " page: the external devices on the module's bus
// (1509..1524, presence 1581..1582), the module clock (1525..1528), the NTP
// server and interval (1529..1544) and the programming server (1588..1602),
// with the time-zone choice that turns module time into local time.
class SettingsModel final : public image::PageModel {
public:
    static constexpr int kEntryDevices = 35;
    static constexpr int kMaxDevices = 16;
    // 0xFF ends the device list, so it is no address a device can have.
    static constexpr int kMaxDeviceAddress = 254;
    static constexpr int kMinNtpInterval = 1;
    static constexpr int kMaxNtpInterval = 255;
    static constexpr int kDefaultNtpInterval = 5;
    static constexpr int kServerLength = 15;

    // What a server editor may send: empty, or four numbers 0..255 joined by
    // dots (groups padded or not).
    [[nodiscard]] static bool isServerAddress(const std::string& text);

    static constexpr int kDevicesOffset = 1509;
    static constexpr int kClockOffset = 1525;
    static constexpr int kNtpServerOffset = 1529;
    static constexpr int kNtpIntervalOffset = 1544;
    static constexpr int kOnBusOffset = 1581;
    static constexpr int kProgrammingServerOffset = 1588;

    // "На шине": unknown after a file load, else what the module reported.
    enum class OnBus { Unknown, Yes, No };

    struct Device {
        std::string address;  // as the "Адрес" column shows it
        std::string name;     // "Устройство": only what was added from the type list
        OnBus onBus = OnBus::Unknown;
        friend bool operator==(const Device&, const Device&) = default;
    };

    struct Values {
        std::vector<Device> devices;
        // DateTimePicker1 (date) and DateTimePicker2 (time) together: local
        // seconds since 1900-01-01 00:00:00.
        std::int64_t clock = 0;
        int timeZoneItem = -1;  // ComboBox18: 0 = "GMT+01:00" .. 12 = "GMT+13:00", -1 none
        bool ntp = false;
        std::string ntpServer;
        int ntpInterval = kDefaultNtpInterval;
        std::string programmingServer;
    };

    [[nodiscard]] const Values& values() const { return m_values; }
    [[nodiscard]] Values& values() { return m_values; }

    // Hours the chosen zone adds to module time (0 for none).
    [[nodiscard]] int zoneHours() const;
    // The zone's text as the list shows it ("GMT+03:00"), empty for none.
    [[nodiscard]] static std::string timeZoneText(int item);

    // The 16 bytes of the device table: each row's address, 0xFF behind the
    // list. Nothing when a row's address is not a number 0..254.
    [[nodiscard]] std::optional<std::array<std::uint8_t, kMaxDevices>> deviceTable() const;
    // The clock as the module keeps it.
    [[nodiscard]] std::uint32_t moduleClock() const;
    // The byte at 1544: the interval when NTP is used, else 0.
    [[nodiscard]] std::uint8_t ntpIntervalByte() const;

    // SpeedButton15: adds a row from a device type line ("name\taddress").
    // False (nothing added) when the list is full.
    bool addDevice(const std::string& typeLine);
    // N9Click: removes a row; the numbers follow the row order.
    bool removeDevice(std::size_t row);

    // SpeedButton17 after the link is ready: clock, NTP server, interval and
    // programming server into ConfigImage and their two jobs.
    void queueClockJobs(image::Workspace& workspace) const;

    [[nodiscard]] std::string pageKey() const override { return "settings"; }
    void decode(image::DecodeStep step, const image::Image& received, image::DecodeSource source) override;
    void encode(image::Workspace& workspace, image::EncodeMode mode) override;
    [[nodiscard]] std::vector<int> ownEntries() const override { return {kEntryDevices}; }
    // SpeedButton16: the device table and its job (1509, 16); a table that
    // cannot be built queues nothing and leaves entry 35 set.
    void queuePageJobs(image::Workspace& workspace) override;
    [[nodiscard]] std::vector<image::PageField> fields() const override;
    std::string setField(const std::string& key, const std::string& value) override;

private:
    void encodeClockAndServers(image::Image& image) const;
    bool encodeDevices(image::Image& image) const;
    std::string setDevice(int number, const std::string& key, const std::string& value);

    Values m_values;
};

}  // namespace kv6::pages
