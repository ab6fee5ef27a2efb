#pragma once

#include <QString>
#include <QStringList>

namespace kv6::app {

// Where the side files are looked for, in this order: next to the executable
// (a copy of the tool with its files beside it, as on Windows), the user's
// configuration folders, the current directory, and last the data folders of
// an installed package, which ship an event description list.
struct SideFileLocations {
    QString programDirectory;
    // The first is the user's own folder: param2 goes there when it cannot be
    // written where it was found or next to the executable.
    QStringList configDirectories;
    QString currentDirectory;
    QStringList dataDirectories;

    // The folders of the running program: its own, QStandardPaths'
    // AppConfigLocation and AppDataLocation lists, the current directory, and
    // share/<application name> beside the executable's bin folder, for an
    // installation outside the standard prefixes.
    [[nodiscard]] static SideFileLocations forRunningProgram();

    // Every folder in search order, without empty entries or repeats.
    [[nodiscard]] QStringList searchOrder() const;
    // The folder param2 is written to when the program directory refuses it.
    [[nodiscard]] QString userConfigDirectory() const;
};

}  // namespace kv6::app
