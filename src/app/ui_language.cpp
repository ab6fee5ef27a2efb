#include "app/ui_language.h"

#include <QLocale>
#include <QSettings>

namespace kv6::app {

namespace {

const QString kOption = QStringLiteral("--lang");

}  // namespace

QString languageCode(UiLanguage language) {
    return language == UiLanguage::English ? QStringLiteral("en") : QStringLiteral("ru");
}

std::optional<UiLanguage> languageFromCode(const QString& code) {
    if (code == QLatin1String("en")) return UiLanguage::English;
    if (code == QLatin1String("ru")) return UiLanguage::Russian;
    return std::nullopt;
}

LanguageOption::LanguageOption(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        QString value;
        if (i > 0 && argument == kOption) {
            if (i + 1 >= arguments.size()) {
                m_valid = false;
                break;
            }
            value = arguments[++i];
        } else if (i > 0 && argument.startsWith(kOption + QLatin1Char('='))) {
            value = argument.mid(kOption.size() + 1);
        } else {
            m_rest << argument;
            continue;
        }
        m_language = languageFromCode(value);
        if (!m_language) m_valid = false;
    }
}

std::optional<UiLanguage> LanguageSetting::saved() const {
    return languageFromCode(m_settings.value(QLatin1String(kKey)).toString());
}

void LanguageSetting::save(UiLanguage language) {
    m_settings.setValue(QLatin1String(kKey), languageCode(language));
    m_settings.sync();
}

UiLanguage chooseLanguage(const std::optional<UiLanguage>& option, const std::optional<UiLanguage>& saved,
                          const QLocale& system) {
    if (option) return *option;
    if (saved) return *saved;
    return system.language() == QLocale::English ? UiLanguage::English : UiLanguage::Russian;
}

}  // namespace kv6::app
