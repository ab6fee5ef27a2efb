#include "io/prg_file.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>

#include "pages/configuration.h"

namespace kv6::io {

PrgLoadResult loadPrg(const QString& path, image::Image& image) {
    PrgLoadResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    result.fileSize = file.size();
    const QByteArray bytes = file.read(static_cast<qint64>(image::kImageSize));
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
        return result;
    }
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(image.data()));
    result.ok = true;
    return result;
}

QString savePrg(const QString& path, const image::Image& image) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    const auto size = static_cast<qint64>(image.size());
    if (file.write(reinterpret_cast<const char*>(image.data()), size) != size) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit()) return file.errorString();
    return {};
}

PrgLoadResult loadConfigurationFile(pages::Configuration& configuration, const QString& path) {
    PrgLoadResult result = loadPrg(path, configuration.workspace.ReceivedImage);
    if (result.ok) configuration.document.DecodeImage(image::DecodeSource::FileLoad);
    return result;
}

QString saveConfigurationFile(pages::Configuration& configuration, const QString& path) {
    configuration.document.EncodeForFile();
    return savePrg(path, configuration.workspace.ConfigImage);
}

}  // namespace kv6::io
