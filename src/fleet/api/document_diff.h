#pragma once

#include <string>
#include <vector>

#include "image/image.h"
#include "settings/config_diff.h"
#include "settings/settings_json.h"

namespace kv6::fleet::api {

// What a write of `document` would change in a module holding `image`: the
// document's fields set onto the image as `kv6ctl apply` sets them, then the
// two compared field by field. Problems (each starting with its key) leave
// the difference empty.
struct DocumentDiff {
    settings::ConfigDiff difference;
    std::vector<std::string> problems;

    [[nodiscard]] static DocumentDiff of(const image::Image& image, const settings::Json& document);
};

}  // namespace kv6::fleet::api
