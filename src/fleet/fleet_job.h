#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv6::fleet {

enum class JobKind { Read, Write, Password, ClearJournal, Reset };
// Held: queued, but kept back while its rollout is paused or halted.
enum class JobState { Queued, Running, Done, Failed, Cancelled, Held };

// The names the store keeps and the operator types.
[[nodiscard]] std::string_view kindName(JobKind kind);
[[nodiscard]] std::optional<JobKind> kindFromName(std::string_view name);
[[nodiscard]] std::string_view stateName(JobState state);
[[nodiscard]] std::optional<JobState> stateFromName(std::string_view name);

// What a write job sends: a kv6-settings document applied onto the module's
// own image, or a whole .prg image.
enum class WriteFormat { None, SettingsJson, Prg };

// What a write changes beyond the settings: only what the job names. Without
// them a write keeps the module's object number and read password.
struct WriteOptions {
    bool renumber = false;          // the file's object number
    bool passwordFromFile = false;  // the .prg's read password
};

// The options as the operator typed them ("--renumber --password-from-file"), empty for none.
[[nodiscard]] std::string optionsText(const WriteOptions& options);

// One unit of work for one object, as the runner carries it out.
struct FleetJob {
    std::int64_t id = 0;
    std::string object;
    JobKind kind = JobKind::Read;
    // The read password recorded for the object; a change is refused without one.
    std::optional<std::uint16_t> password;
    WriteFormat format = WriteFormat::None;
    std::vector<std::uint8_t> payload;  // the settings text or the 4096-byte image
    std::uint16_t newPassword = 0;      // password jobs
    bool force = false;                 // reset jobs run only with it
    WriteOptions options;               // write jobs
};

// Whether a kind changes the module (and so needs the password proved first).
[[nodiscard]] bool changesModule(JobKind kind);

}  // namespace kv6::fleet
