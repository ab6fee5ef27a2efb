#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kv6::fleet::api {

// The web console's files, compiled into the program as Qt resources under
// `:/console/`: "/" is its page, "/console/NAME" each script, style sheet
// and picture. Only names of letters, digits, '-', '_' and '/' with a known
// ending are looked up, so no path reaches anything else.
class ConsoleFiles {
public:
    struct File {
        QByteArray contentType;
        QByteArray body;
    };

    // Whether the path is the console's rather than the API's.
    [[nodiscard]] static bool owns(const QString& path);
    // The file the path names; none when there is no such file.
    [[nodiscard]] static std::optional<File> find(const QString& path);
};

}  // namespace kv6::fleet::api
