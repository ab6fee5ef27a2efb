#pragma once

#include <QString>

#include "common/trace_sink.h"
#include "image/image.h"

namespace kv6::pages {
class Configuration;
}

namespace kv6::io {

// A .prg file is the raw 4096-byte image: no header, no checksum.
struct PrgLoadResult {
    bool ok = false;
    qint64 fileSize = 0;  // size of the file on disk
    QString error;        // the system's reason when !ok
};

// Reads up to 4096 bytes into `image` from offset 0: a shorter file replaces
// only its own length, a longer one its first 4096 bytes. A file that cannot
// be opened or read changes nothing.
PrgLoadResult loadPrg(const QString& path, image::Image& image);

// Writes the 4096 bytes atomically: a failed save leaves any previous file as
// it was. A folder that refuses the temporary file (read-only, while the file
// itself may be written) gets the file written in place instead, which the
// trace says. Returns the reason on failure, an empty text on success.
QString savePrg(const QString& path, const image::Image& image, TraceSink* trace = nullptr);

// The file load of the desktop tool: into ReceivedImage, then the whole-image
// decode for a file load (copy into ConfigImage, every SectionFlags entry set).
// Nothing is decoded when the file cannot be read.
PrgLoadResult loadConfigurationFile(pages::Configuration& configuration, const QString& path);

// The file save of the desktop tool: EncodeForFile, then the 4096 bytes.
QString saveConfigurationFile(pages::Configuration& configuration, const QString& path,
                              TraceSink* trace = nullptr);

}  // namespace kv6::io
