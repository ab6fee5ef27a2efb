#include "diff_output.h"

#include <cstdio>

#include "pages/common/field_rules.h"
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
        for (const auto& f : diff.fields) out += f.key + ": " + pages::rules::escapedText(f.before) + " -> " + pages::rules::escapedText(f.after) + "\n";
        for (const auto& r : diff.otherBytes)
            out += "bytes " + std::to_string(r.first) + ".." + std::to_string(r.last) + " differ, and no field shows it\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace kv6::ctl
