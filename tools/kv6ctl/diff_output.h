#pragma once

#include "settings/config_diff.h"

namespace kv6::ctl {

// Prints a comparison: "page.key: A -> B" per field, then "bytes N..M differ,
// and no field shows it"; with `json`, a list of {"key","a","b"} and
// {"bytes":[first,last]} objects.
void printDiff(const settings::ConfigDiff& diff, bool json);

}  // namespace kv6::ctl
