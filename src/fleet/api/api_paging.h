#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kv6::fleet::api {

// One page of a list: at most `limit` items after the item whose key the
// cursor holds. A list is ordered by its key (a job's id, a module's object
// number), so items added or removed meanwhile make no duplicate and no gap.
struct Page {
    static constexpr std::size_t kDefaultLimit = 100;
    static constexpr std::size_t kMaxLimit = 1000;

    std::size_t limit = kDefaultLimit;
    std::optional<std::string> after;  // the key of the last item already seen
    // "order=newest": from the highest key down, as a live list of jobs is
    // read; the cursor then goes on to lower keys.
    bool newestFirst = false;

    // From the query's "limit", "cursor" and "order"; none with `error` naming the value at fault.
    [[nodiscard]] static std::optional<Page> fromQuery(const std::map<std::string, std::string>& query,
                                                       std::string& error);
};

// A cursor is opaque to clients: the key in unpadded base64url, so that any
// key travels in a URL as it is.
[[nodiscard]] std::string encodeCursor(std::string_view key);
[[nodiscard]] std::optional<std::string> decodeCursor(std::string_view cursor);

// A number key ("42") as its list orders it: by value, not as text.
[[nodiscard]] std::string numberKey(long long value);

}  // namespace kv6::fleet::api
