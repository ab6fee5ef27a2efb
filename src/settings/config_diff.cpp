#include "settings/config_diff.h"

#include "pages/configuration.h"
#include "pages/common/field_rules.h"
#include "settings/image_edit.h"

namespace kv6::settings {

namespace {

// An image decoded as a file load, without the change marks nobody looks at.
void decodeInto(pages::Configuration& configuration, const image::Image& image) {
    configuration.document.setRemembersFields(false);
    configuration.workspace.ReceivedImage = image;
    configuration.document.DecodeImage(image::DecodeSource::FileLoad);
}

}  // namespace

ConfigDiff diffImages(const image::Image& before, const image::Image& after) {
    ConfigDiff diff;
    if (before == after) return diff;
    // `explained` holds `before` and later takes the changed values; `shown`
    // holds `after`. Both list their pages and fields in the same order.
    pages::Configuration explained;
    pages::Configuration shown;
    decodeInto(explained, before);
    decodeInto(shown, after);
    const auto& pagesBefore = explained.document.pages();
    const auto& pagesAfter = shown.document.pages();
    for (std::size_t p = 0; p < pagesBefore.size() && p < pagesAfter.size(); ++p) {
        const std::vector<image::PageField> a = pagesBefore[p]->fields();
        const std::vector<image::PageField> b = pagesAfter[p]->fields();
        for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
            if (a[i].value != b[i].value)
                diff.fields.push_back({pagesBefore[p]->pageKey() + "." + a[i].key, a[i].value, b[i].value});
    }

    // The bytes the field changes account for: `before` with those fields set
    // to their new values, as kv6ctl set edits a file. What still differs from
    // `after` where `before` did too no field shows.
    const ImageEdit edit(explained, before);
    for (const FieldDifference& f : diff.fields) {
        const std::size_t dot = f.key.find('.');
        if (image::PageModel* page = explained.document.page(f.key.substr(0, dot)))
            (void)page->assignField(f.key.substr(dot + 1), f.after);
    }
    const image::Image written = edit.edited();

    for (std::size_t offset = 0; offset < before.size(); ++offset) {
        if (before[offset] == after[offset] || written[offset] == after[offset]) continue;
        const int at = static_cast<int>(offset);
        if (!diff.otherBytes.empty() && diff.otherBytes.back().last == at - 1)
            diff.otherBytes.back().last = at;
        else
            diff.otherBytes.push_back({at, at});
    }
    return diff;
}

std::string diffText(const ConfigDiff& diff) {
    std::string out;
    for (const auto& f : diff.fields)
        out += f.key + ": " + pages::rules::escapedText(f.before) + " -> " + pages::rules::escapedText(f.after) + "\n";
    for (const auto& r : diff.otherBytes)
        out += "bytes " + std::to_string(r.first) + ".." + std::to_string(r.last) + " differ, and no field shows it\n";
    return out;
}

}  // namespace kv6::settings
