#include "io/prg_file.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

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

QString savePrg(const QString& path, const image::Image& image, TraceSink* trace) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        // Only a refused temporary file falls back; then a failed write can
        // no longer keep the earlier file.
        file.setDirectWriteFallback(true);
        if (!file.open(QIODevice::WriteOnly)) return file.errorString();
        if (trace)
            trace->trace(TraceChannel::Image, "the folder refuses a temporary file: " +
                                                  path.toStdString() + " is written in place");
    }
    const auto size = static_cast<qint64>(image.size());
    errno = 0;
    // The bytes are buffered: only the flush shows whether the disk took them,
    // and a commit after a failed flush would put a cut file in place of the
    // earlier one.
    if (file.write(reinterpret_cast<const char*>(image.data()), size) != size || !file.flush()) {
        // Qt has no text of its own for a short write ("No space left on device").
        const QString reason = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
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

QString saveConfigurationFile(pages::Configuration& configuration, const QString& path, TraceSink* trace) {
    configuration.document.EncodeForFile();
    return savePrg(path, configuration.workspace.ConfigImage, trace);
}

}  // namespace kv6::io
