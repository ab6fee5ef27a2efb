#include "fleet/fleet_drift.h"

#include <algorithm>

#include "fleet/write_image.h"
#include "pages/configuration.h"
#include "settings/image_edit.h"

namespace kv6::fleet {

namespace {

// The modules carrying a tag, a page at a time in object order.
std::optional<std::vector<std::string>> taggedObjects(FleetStore& store, const std::string& tag,
                                                      const std::string& after, std::size_t limit, std::string&) {
    ModuleQuery query;
    query.tag = tag;
    query.after = after;
    query.limit = limit;
    const auto modules = store.modulesPage(query);
    if (!modules) return std::nullopt;
    std::vector<std::string> objects;
    objects.reserve(modules->size());
    for (const ModuleRecord& module : *modules) objects.push_back(module.object);
    return objects;
}

}  // namespace

DriftRow FleetDrift::compare(const std::string& object, const image::Image& backup, const DriftSource& source) {
    DriftRow row;
    row.object = object;
    image::Image sent = source.prg;
    if (source.format == WriteFormat::SettingsJson) {
        // The document set onto the backup as the write job sets it onto the module's image.
        pages::Configuration configuration;
        configuration.document.setRemembersFields(false);
        configuration.workspace.ReceivedImage = backup;
        configuration.document.DecodeImage(image::DecodeSource::FileLoad);
        const settings::ImageEdit edit(configuration, backup);
        row.problems = settings::applyJson(configuration.document, source.document);
        if (!row.problems.empty()) return row;
        sent = edit.edited();
    }
    row.difference = settings::diffImages(backup, writtenImage(backup, sent, WriteOptions{}));
    return row;
}

DriftRow FleetDrift::row(FleetStore& store, const std::string& object, const DriftSource& source) {
    const std::vector<BackupRecord> backups = store.backups(object);
    // A backup pruned between the two reads counts as none: there is nothing to compare.
    const auto image = backups.empty() ? std::nullopt : store.backupImage(backups.back().id);
    if (!image) {
        DriftRow none;
        none.object = object;
        return none;
    }
    DriftRow row = compare(object, *image, source);
    row.backupId = backups.back().id;
    row.takenAt = backups.back().takenAt;
    return row;
}

std::optional<std::vector<std::string>> FleetDrift::targetObjects(FleetStore& store, const FleetTarget& target,
                                                                  const std::string& after, std::size_t limit,
                                                                  std::string& refusal) {
    switch (target.kind) {
        case FleetTarget::Kind::All: {
            ModuleQuery query;
            query.after = after;
            query.limit = limit;
            const auto modules = store.modulesPage(query);
            if (!modules) return std::nullopt;
            std::vector<std::string> objects;
            objects.reserve(modules->size());
            for (const ModuleRecord& module : *modules) objects.push_back(module.object);
            return objects;
        }
        case FleetTarget::Kind::Objects: {
            auto from = after.empty() ? target.objects.begin()
                                      : std::upper_bound(target.objects.begin(), target.objects.end(), after);
            const auto count = std::min<std::size_t>(limit, static_cast<std::size_t>(target.objects.end() - from));
            return std::vector<std::string>(from, from + static_cast<std::ptrdiff_t>(count));
        }
        case FleetTarget::Kind::Tag:
            return taggedObjects(store, target.tag, after, limit, refusal);
    }
    return std::nullopt;
}

std::optional<DriftPage> FleetDrift::page(FleetStore& store, const DriftQuery& query) {
    DriftPage page;
    const std::size_t limit = std::max<std::size_t>(query.limit, 1);
    // One more than the page holds tells whether another follows.
    const auto objects = targetObjects(store, query.target, query.after, limit + 1, page.error);
    if (!objects) return std::nullopt;
    if (!page.error.empty()) return page;
    const std::size_t shown = std::min(objects->size(), limit);
    page.rows.reserve(shown);
    for (std::size_t i = 0; i < shown; ++i) page.rows.push_back(row(store, (*objects)[i], query.source));
    if (objects->size() > limit) page.next = (*objects)[shown - 1];
    return page;
}

}  // namespace kv6::fleet
