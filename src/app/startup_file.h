#pragma once

#include <QString>
#include <QStringList>

namespace kv6::app {

class TForm1;

// The .prg named on the command line (a double-click on a file gives it).
class StartupFile {
public:
    // `arguments` as Qt leaves them after taking its own options, program name first.
    explicit StartupFile(const QStringList& arguments);

    // More than one argument, or an option the tool does not know.
    [[nodiscard]] bool valid() const { return m_valid; }
    [[nodiscard]] const QString& path() const { return m_path; }

    // Loads the file as "Загрузить из файла" does once the window has its side
    // files (zone and device types), as a load from the menu finds them.
    void openIn(TForm1& window) const;

private:
    QString m_path;
    bool m_valid = true;
};

}  // namespace kv6::app
