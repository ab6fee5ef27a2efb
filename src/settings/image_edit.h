#pragma once

#include "image/image.h"

namespace kv6::pages {
class Configuration;
}

namespace kv6::settings {

// An edit of a file's image that changes only the bytes of the fields it
// changes. Saving re-encodes every page, which also rewrites bytes the
// editors normalise (unused code digits, key bytes) and would change a file
// no one asked to change; so the image is encoded once before the edit and
// once after, and only where those two encodings differ do the new bytes go
// onto the original ones.
class ImageEdit {
public:
    // `configuration` holds `original` decoded as a file load, not yet edited.
    ImageEdit(pages::Configuration& configuration, const image::Image& original);

    // After the edits: the original image with the bytes the edits changed.
    [[nodiscard]] image::Image edited() const;

private:
    pages::Configuration& m_configuration;
    image::Image m_original;
    image::Image m_unedited;  // the encoding before any edit
};

}  // namespace kv6::settings
