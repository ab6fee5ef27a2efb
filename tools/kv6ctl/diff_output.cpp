#include "diff_output.h"

#include <cstdio>

#include "settings/settings_json.h"

namespace kv6::ctl {

void printDiff(const settings::ConfigDiff& diff, bool json) {
    std::string out;
    if (json) {
        settings::Json list = settings::Json::array();
        for (const auto& f : diff.fields) list.push_back({{"key", f.key}, {"a", f.before}, {"b", f.after}});
        for (const auto& r : diff.otherBytes) list.push_back({{"bytes", {r.first, r.last}}});
        out = list.dump(2, ' ', false, settings::Json::error_handler_t::replace) + "\n";
    } else {
        out = settings::diffText(diff);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace kv6::ctl
