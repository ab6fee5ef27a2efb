#include <QApplication>

#include "app/main_window.h"
#include "app/qt_translation.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvel-kv6"));
    if (!kv6::app::installQtTranslation(app)) qWarning("korvel-kv6: Qt's Russian translation (qtbase_ru.qm) not found");
    kv6::app::TForm1 window;
    window.show();
    return QApplication::exec();
}
