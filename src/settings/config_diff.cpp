#include "settings/config_diff.h"

#include "pages/configuration.h"
#include "pages/common/field_rules.h"
#include "settings/image_edit.h"

namespace kv6::settings {

namespace {

using Shown = std::vector<FieldDifference>;  // key and value (in `before`)

Shown shownFields(const image::Image& image) {
    pages::Configuration configuration;
    configuration.workspace.ReceivedImage = image;
    configuration.document.DecodeImage(image::DecodeSource::FileLoad);
    Shown shown;
    for (const image::PageModel* page : configuration.document.pages())
        for (const image::PageField& field : page->fields())
            shown.push_back({page->pageKey() + "." + field.key, field.value, {}});
    return shown;
}

}  // namespace

ConfigDiff diffImages(const image::Image& before, const image::Image& after) {
    ConfigDiff diff;
    if (before == after) return diff;
    const Shown a = shownFields(before);
    const Shown b = shownFields(after);
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i].before != b[i].before) diff.fields.push_back({a[i].key, a[i].before, b[i].before});

    // The bytes the field changes account for: `before` with those fields set
    // to their new values, as kv6ctl set edits a file. What still differs from
    // `after` where `before` did too no field shows.
    pages::Configuration explained;
    explained.workspace.ReceivedImage = before;
    explained.document.DecodeImage(image::DecodeSource::FileLoad);
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
