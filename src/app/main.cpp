#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/main_window.h"
#include "app/qt_translation.h"
#include "common/version.h"

int main(int argc, char** argv) {
    // The one argument the desktop tool takes, answered before a display is needed.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("korvel-kv6 %s\n", kv6::kVersion);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvel-kv6"));
    QApplication::setApplicationVersion(QString::fromLatin1(kv6::kVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("korvel-kv6"));  // the menu entry's icon and name
    if (!kv6::app::installQtTranslation(app)) qWarning("korvel-kv6: Qt's Russian translation (qtbase_ru.qm) not found");
    kv6::app::TForm1 window;
    window.show();
    return QApplication::exec();
}
