#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <cstdio>
#include <cstring>

#include "app/main_window.h"
#include "app/startup_file.h"
#include "app/ui_language.h"
#include "app/ui_translation.h"
#include "common/version.h"

namespace {

const char* const kUsage =
    "Usage: korvel-kv6 [--lang en|ru] [FILE.prg]\n"
    "The configurator of the KV6 GSM/GPRS alarm transmission module: reads the\n"
    "module's configuration over a serial cable or while the module connects in\n"
    "over GPRS, shows it on tabbed pages, writes changes back and keeps\n"
    "configurations in .prg files. FILE.prg is loaded at start as\n"
    "\"Загрузить из файла\" loads it.\n"
    "\n"
    "Options:\n"
    "  --lang L   the language of the window: en (English) or ru (Russian);\n"
    "             the choice of the menu entry \"Язык / Language\" else, or\n"
    "             English when the system's language is English\n"
    "  --help     print this text and exit\n"
    "  --version  print the version and exit\n"
    "Qt's own options (-platform, -style, ...) are taken as well.\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before a display is needed.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("korvel-kv6 %s\n", kv6::kVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("korvel-kv6"));
    QApplication::setApplicationVersion(QString::fromLatin1(kv6::kVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("korvel-kv6"));  // the menu entry's icon and name
    // Qt has taken its own options out; what is left is the language and the file to open.
    const kv6::app::LanguageOption lang(QApplication::arguments());
    if (!lang.valid()) {
        std::fprintf(stderr, "korvel-kv6: --lang takes en or ru\n%s", kUsage);
        return 2;
    }
    const kv6::app::StartupFile file(lang.rest());
    if (!file.valid()) {
        std::fprintf(stderr, "korvel-kv6: unexpected arguments\n%s", kUsage);
        return 2;
    }
    QSettings settings(QStringLiteral("korvel-kv6"), QStringLiteral("korvel-kv6"));
    kv6::app::LanguageSetting saved(settings);
    const kv6::app::UiLanguage language = kv6::app::chooseLanguage(lang.language(), saved.saved(), QLocale::system());
    kv6::app::UiTranslation translation(kv6::app::UiTranslation::programFolders());
    for (const QString& name : translation.apply(language))
        qWarning("korvel-kv6: translation %s not found", qPrintable(name));
    kv6::app::TForm1Options options;
    options.language = language;
    kv6::app::TForm1 window(options);
    QObject::connect(&window, &kv6::app::TForm1::languageChosen, &window,
                     [&saved](kv6::app::UiLanguage chosen) { saved.save(chosen); });
    window.show();
    file.openIn(window);
    return QApplication::exec();
}
