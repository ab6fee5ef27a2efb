#include "fleet/api/document_diff.h"

#include "pages/configuration.h"
#include "settings/image_edit.h"

namespace kv6::fleet::api {

DocumentDiff DocumentDiff::of(const image::Image& image, const settings::Json& document) {
    DocumentDiff result;
    pages::Configuration configuration;
    configuration.document.setRemembersFields(false);
    configuration.workspace.ReceivedImage = image;
    configuration.document.DecodeImage(image::DecodeSource::FileLoad);
    const settings::ImageEdit edit(configuration, image);
    result.problems = settings::applyJson(configuration.document, document);
    if (!result.problems.empty()) return result;
    result.difference = settings::diffImages(image, edit.edited());
    return result;
}

}  // namespace kv6::fleet::api
