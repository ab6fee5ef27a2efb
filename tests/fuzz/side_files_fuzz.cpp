// The side files as any bytes (UTF-8, Windows-1251 or neither): read as the
// tool reads them and handed to every parser of their lines.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>

#include "app/side_files.h"
#include "fuzz/fuzz_input.h"
#include "pages/journal/journal_model.h"
#include "pages/routing/zone_type_list.h"

namespace {

using kv6::app::SideFiles;
using kv6::fuzz::require;

// One folder for the whole run, in memory where the system has one: every
// input rewrites the files, and a disk would flush each of them.
const QTemporaryDir& folder() {
    static const QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                       ? QStringLiteral("/dev/shm/kv6-fuzz-XXXXXX")
                                       : QDir::tempPath() + QStringLiteral("/kv6-fuzz-XXXXXX"));
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString dir = folder().path();
    const char* names[] = {SideFiles::kPortFile, SideFiles::kJournalFile, SideFiles::kZoneTypeFile,
                           SideFiles::kDeviceTypeFile};
    for (const char* name : names) {
        QFile file(QDir(dir).filePath(QString::fromLatin1(name)));
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "temporary side file opens");
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }

    const auto lines = SideFiles::readLines(QDir(dir).filePath(QString::fromLatin1(SideFiles::kJournalFile)));
    require(lines.has_value(), "a readable side file gives its lines");
    for (const QString& line : *lines) (void)SideFiles::parsePortLine(line);

    SideFiles sideFiles(dir, dir);
    sideFiles.loadAll();
    if (const auto port = sideFiles.portSetting()) require(!port->isEmpty(), "a port setting is never empty");

    // The journal's descriptions over a journal region made of the same bytes.
    std::vector<std::string> descriptions;
    for (const QString& line : sideFiles.journalTexts()) descriptions.push_back(line.toStdString());
    kv6::image::Image image{};
    std::copy_n(data, std::min<std::size_t>(size, image.size()), image.begin());
    kv6::journal::JournalModel journal;
    journal.decode(image, kv6::image::DecodeSource::SerialRead);
    for (const auto& row : journal.rows(3, descriptions)) (void)row;

    // The zone type list and its walk over every stored type number.
    std::vector<std::string> zoneLines;
    for (const QString& line : sideFiles.zoneTypes()) zoneLines.push_back(line.toStdString());
    const auto types = kv6::pages::ZoneTypeList::fromFileLines(zoneLines);
    for (int i = 0; i < types.size(); ++i) {
        (void)types.name(i);
        (void)types.code(i);
        (void)types.number(i);
    }
    for (int typeNumber = 0; typeNumber < 64; ++typeNumber)
        if (const auto index = types.findType(typeNumber)) require(*index >= 0 && *index < types.size(), "type index in the list");
    return 0;
}
