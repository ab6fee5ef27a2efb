#include "app/qt_translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace kv6::app {

QTranslator* installQtTranslation(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    const QString name = QStringLiteral("qtbase_ru");
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"));
    if (translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        translator->load(name, besideProgram)) {
        QCoreApplication::installTranslator(translator);
        return translator;
    }
    delete translator;
    return nullptr;
}

}  // namespace kv6::app
