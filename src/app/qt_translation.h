#pragma once

class QCoreApplication;
class QTranslator;

namespace kv6::app {

// Qt's own texts (the file dialogs, the message boxes' buttons, "File not
// found", the overwrite question) in Russian, as the rest of the user
// interface, whatever the system's language. Looks in Qt's translations
// folder, then in "translations" next to the executable. Returns the
// installed translator (owned by `app`), or null when none was found.
QTranslator* installQtTranslation(QCoreApplication& app);

}  // namespace kv6::app
