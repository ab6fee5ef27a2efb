#include "app/ui_translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace kv6::app {

UiTranslation::UiTranslation(QStringList folders) : m_folders(std::move(folders)) {}

UiTranslation::~UiTranslation() {
    if (m_qt) QCoreApplication::removeTranslator(m_qt.get());
    if (m_tool) QCoreApplication::removeTranslator(m_tool.get());
}

QStringList UiTranslation::programFolders() {
    const QString program = QCoreApplication::applicationDirPath();
    return {QDir(program).filePath(QStringLiteral("translations")),
            QDir::cleanPath(program + QStringLiteral("/../share/korvel-kv6/translations"))};
}

bool UiTranslation::load(QTranslator& translator, const QString& name, const QStringList& folders) const {
    for (const QString& folder : folders)
        if (translator.load(name, folder)) return true;
    return false;
}

QStringList UiTranslation::apply(UiLanguage language) {
    for (std::unique_ptr<QTranslator>* old : {&m_qt, &m_tool}) {
        if (*old) QCoreApplication::removeTranslator(old->get());
        old->reset();
    }
    QStringList missing;
    const QString code = languageCode(language);
    const QString qtName = QStringLiteral("qtbase_") + code;
    auto qt = std::make_unique<QTranslator>();
    if (load(*qt, qtName, QStringList{QLibraryInfo::path(QLibraryInfo::TranslationsPath)} + m_folders)) {
        QCoreApplication::installTranslator(qt.get());
        m_qt = std::move(qt);
    } else {
        missing << qtName + QStringLiteral(".qm");
    }
    // The source texts are the Russian ones: only English needs a file.
    if (language == UiLanguage::English) {
        const QString toolName = QStringLiteral("korvel-kv6_") + code;
        auto tool = std::make_unique<QTranslator>();
        if (load(*tool, toolName, m_folders)) {
            QCoreApplication::installTranslator(tool.get());
            m_tool = std::move(tool);
        } else {
            missing << toolName + QStringLiteral(".qm");
        }
    }
    return missing;
}

}  // namespace kv6::app
