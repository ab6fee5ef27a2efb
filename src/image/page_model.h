#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/field_snapshot.h"
#include "image/image.h"
#include "image/page_field.h"
#include "image/workspace.h"

namespace kv6::image {

// Where the image being decoded came from; the decodes differ slightly by source.
enum class DecodeSource { SerialRead, RemoteRead, FileLoad };

// Why a page encodes: its own write button, "write all settings", or a file save.
enum class EncodeMode { PageButton, EncodeAll, EncodeForFile };

// The page steps of the whole-image decode, in the order they run. Step 1
// (enable the write controls), 14 (copy into ConfigImage) and 15 (flags) are
// the pipeline's own.
enum class DecodeStep {
    ObjectIdentity = 2,     // object, receiver, line, IP connection, second IP mode
    GsmNumbers = 3,         // GSM numbers, country code, function bytes, staged 242/243
    InputsAndCounters = 4,  // inputs 1 and 2, code digit count (760), poll time
    EventTable = 5,         // event table and LED mode
    SmsTexts = 6,           // SMS texts 1..20
    PartitionObjects = 7,   // partition objects, indication partitions
    Pin = 8,                // SIM PIN
    Zones = 9,              // zones page, attempts and attempt time, option bits
    Devices = 10,           // device list, NTP and programming servers, date and time
    SystemEventSms = 11,    // system-event SMS targets
    StateView = 12,         // module state view
    UserCodes = 13,         // user code tables
};

inline constexpr DecodeStep kDecodeSteps[] = {
    DecodeStep::ObjectIdentity, DecodeStep::GsmNumbers,     DecodeStep::InputsAndCounters,
    DecodeStep::EventTable,     DecodeStep::SmsTexts,       DecodeStep::PartitionObjects,
    DecodeStep::Pin,            DecodeStep::Zones,          DecodeStep::Devices,
    DecodeStep::SystemEventSms, DecodeStep::StateView,      DecodeStep::UserCodes,
};

// What a page holds, as plain data, with its decode and encode. Widgets bind
// to it; the command line reads and sets its fields.
class PageModel {
public:
    virtual ~PageModel() = default;

    // Page name in exports, lowerCamelCase ("object").
    [[nodiscard]] virtual std::string pageKey() const = 0;

    // ReceivedImage -> values, for the steps this page owns (others are ignored).
    virtual void decode(DecodeStep step, const Image& received, DecodeSource source) = 0;

    // Values -> ConfigImage. EncodeAll encodes unconditionally; EncodeForFile
    // and PageButton encode the sections whose SectionFlags entries are set.
    virtual void encode(Workspace& workspace, EncodeMode mode) = 0;

    // The SectionFlags entries the page's write button raises.
    [[nodiscard]] virtual std::vector<int> ownEntries() const = 0;

    // The page write button after its question: for each own entry that is
    // set, encode and queue its jobs; then clear the own entries.
    virtual void queuePageJobs(Workspace& workspace) = 0;

    // The bits of option byte 1508 this page owns and their values, for the
    // whole-image encoders that rebuild the byte.
    virtual void contributeOptionBits(std::uint8_t& bits, std::uint8_t& ownedMask) const {
        (void)bits;
        (void)ownedMask;
    }

    [[nodiscard]] virtual std::vector<PageField> fields() const = 0;

    // Sets one field from text. Returns an empty string on success, otherwise a
    // message naming the key and what it accepts; the value is then unchanged.
    virtual std::string setField(const std::string& key, const std::string& value) = 0;

    // Sets one field as `kv6ctl set` does. The value fields() shows for the
    // key is the one the field already holds: it is taken as it stands and
    // nothing changes, even where the image held what setField (the editors'
    // rules) would refuse. Any other value goes through setField.
    std::string assignField(const std::string& key, const std::string& value) {
        for (const PageField& field : fields())
            if (field.key == key) return field.value == value ? std::string() : setField(key, value);
        return setField(key, value);
    }

    // Whether "write all settings" sends this page's fields (the event table is never sent by it).
    [[nodiscard]] virtual bool sentByWriteAll() const { return true; }

    // What the page shows now counts as unchanged: after a decode or a save.
    void rememberFields() {
        m_snapshot.take(fields());
        m_sending.reset();
    }
    // What the page shows now is on its way to the module. It counts as
    // unchanged once the module has taken the whole write (writeEnded(true));
    // a failed write leaves the fields changed, as the module does not hold them.
    void rememberWhenWritten() { m_sending.emplace().take(fields()); }
    void writeEnded(bool ok) {
        if (m_sending && ok) m_snapshot = std::move(*m_sending);
        m_sending.reset();
    }
    [[nodiscard]] const FieldSnapshot& snapshot() const { return m_snapshot; }
    [[nodiscard]] std::vector<std::string> changedKeys() const { return m_snapshot.changedKeys(fields()); }
    [[nodiscard]] bool hasChanges() const { return !changedKeys().empty(); }

    // Puts back the remembered value of one field, or of every changed field.
    // Returns an empty string, else why a value could not be put back.
    std::string revertField(const std::string& key) {
        const std::optional<std::string> before = m_snapshot.remembered(key);
        return before ? assignField(key, *before) : std::string();
    }
    std::string revertAll() {
        std::string problems;
        for (const std::string& key : changedKeys()) {
            const std::string problem = revertField(key);
            if (!problem.empty()) problems += (problems.empty() ? "" : "\n") + problem;
        }
        return problems;
    }

private:
    FieldSnapshot m_snapshot;
    std::optional<FieldSnapshot> m_sending;  // what a running write sends
};

}  // namespace kv6::image
