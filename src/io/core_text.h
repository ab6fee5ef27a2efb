#pragma once

#include <QString>
#include <string_view>

namespace kv6::io {

// The user-visible text of a layer without Qt (status texts of the link and
// the remote session, the preset zone type names) in the run's language.
// Such texts have a fixed start and may go on with progress marks or a
// number: the start is translated and the rest kept. Any other text (a zone
// type name from the user's paramp) comes back as it is.
[[nodiscard]] QString coreText(std::string_view text);

}  // namespace kv6::io
