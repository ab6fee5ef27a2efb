#include "app/startup_file.h"

#include "app/main_window.h"

namespace kv6::app {

StartupFile::StartupFile(const QStringList& arguments) {
    const QStringList rest = arguments.mid(1);
    m_valid = rest.size() <= 1 && (rest.isEmpty() || !rest.first().startsWith(QLatin1Char('-')));
    if (m_valid && !rest.isEmpty()) m_path = rest.first();
}

void StartupFile::openIn(TForm1& window) const {
    if (m_path.isEmpty()) return;
    QObject::connect(
        &window, &TForm1::sideFilesLoaded, &window, [&window, path = m_path] { window.loadFile(path); },
        Qt::SingleShotConnection);
}

}  // namespace kv6::app
