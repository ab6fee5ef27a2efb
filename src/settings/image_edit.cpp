#include "settings/image_edit.h"

#include "pages/configuration.h"

namespace kv6::settings {

ImageEdit::ImageEdit(pages::Configuration& configuration, const image::Image& original)
    : m_configuration(configuration), m_original(original) {
    m_configuration.document.EncodeForFile();
    m_unedited = m_configuration.workspace.ConfigImage;
}

image::Image ImageEdit::edited() const {
    m_configuration.document.EncodeForFile();
    const image::Image& encoded = m_configuration.workspace.ConfigImage;
    image::Image result = m_original;
    for (std::size_t offset = 0; offset < result.size(); ++offset)
        if (encoded[offset] != m_unedited[offset]) result[offset] = encoded[offset];
    return result;
}

}  // namespace kv6::settings
