// A request body of the operator API (POST /api/v1/jobs) as any bytes, and
// the same bytes as a paging cursor and limit. A body is either a job whose
// fields hold together or a refusal with a message; a cursor is refused or
// is exactly the one the server would give for the key it holds.
#include <cstdint>
#include <string_view>

#include "fleet/api/api_paging.h"
#include "fleet/api/job_request.h"
#include "fuzz/fuzz_input.h"

namespace {

using kv6::fuzz::require;
namespace api = kv6::fleet::api;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (const auto request = api::JobRequest::parse(text, error)) {
        const kv6::fleet::NewJob& job = request->job;
        require(api::validObjectNumber(job.object), "a queued job names a valid object number");
        if (job.kind == kv6::fleet::JobKind::Write) {
            require(job.format != kv6::fleet::WriteFormat::None, "a write carries a payload");
            if (job.format == kv6::fleet::WriteFormat::Prg)
                require(job.payload.size() == kv6::image::kImageSize, "a .prg payload is a whole image");
            else
                require(request->settings.has_value() && !job.payload.empty(), "a settings write keeps its document");
        } else {
            require(job.format == kv6::fleet::WriteFormat::None && job.payload.empty(), "only a write has a payload");
        }
        require(job.kind != kv6::fleet::JobKind::Reset || job.force, "a reset is forced");
    } else {
        require(!error.empty(), "a refused body is refused with a message");
    }

    const std::string value(text.substr(0, 300));
    if (const auto key = api::decodeCursor(value))
        require(api::encodeCursor(*key) == value, "a cursor that is taken is the one the server gives");
    const auto page = api::Page::fromQuery({{"limit", value}}, error);
    require(!page || (page->limit >= 1 && page->limit <= api::Page::kMaxLimit), "a limit stays within 1..1000");
    return 0;
}
