#include "app/side_file_locations.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace kv6::app {

SideFileLocations SideFileLocations::forRunningProgram() {
    SideFileLocations locations;
    locations.programDirectory = QCoreApplication::applicationDirPath();
    locations.configDirectories = QStandardPaths::standardLocations(QStandardPaths::AppConfigLocation);
    locations.currentDirectory = QDir::currentPath();
    locations.dataDirectories = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
    const QString besideBin = QDir::cleanPath(locations.programDirectory + QStringLiteral("/../share/") +
                                              QCoreApplication::applicationName());
    locations.dataDirectories.append(besideBin);
    return locations;
}

QStringList SideFileLocations::searchOrder() const {
    QStringList order;
    const auto add = [&order](const QString& directory) {
        if (directory.isEmpty()) return;
        const QString clean = QDir::cleanPath(directory);
        if (!order.contains(clean)) order.append(clean);
    };
    add(programDirectory);
    for (const QString& directory : configDirectories) add(directory);
    add(currentDirectory);
    for (const QString& directory : dataDirectories) add(directory);
    return order;
}

QString SideFileLocations::userConfigDirectory() const {
    return configDirectories.isEmpty() ? QString() : configDirectories.first();
}

}  // namespace kv6::app
