#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "app/ui_language.h"

class QTranslator;

namespace kv6::app {

// The translators of one language on the running application: Qt's own
// texts (the file dialogs, the message boxes' buttons) as qtbase_<code>.qm,
// and for English the tool's own texts, korvel-kv6_en.qm. Texts without a
// translation stay in Russian, so a missing file is reported, never fatal.
class UiTranslation {
public:
    // Where the tool's .qm is looked for, in order; Qt's own are looked for
    // in Qt's translations folder first, then in these.
    explicit UiTranslation(QStringList folders);
    ~UiTranslation();
    UiTranslation(const UiTranslation&) = delete;
    UiTranslation& operator=(const UiTranslation&) = delete;

    // "translations" beside the executable (the build), then the installed
    // data folder (../share/korvel-kv6/translations).
    [[nodiscard]] static QStringList programFolders();

    // Replaces the translators of an earlier call; returns the names of the
    // files not found.
    QStringList apply(UiLanguage language);

private:
    [[nodiscard]] bool load(QTranslator& translator, const QString& name, const QStringList& folders) const;

    QStringList m_folders;
    std::unique_ptr<QTranslator> m_qt;
    std::unique_ptr<QTranslator> m_tool;
};

}  // namespace kv6::app
