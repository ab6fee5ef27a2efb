#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QLocale;
class QSettings;

namespace kv6::app {

// The language of the user interface: the system's Russian texts, or their
// English translation.
enum class UiLanguage { Russian, English };

// "ru" or "en", as `--lang` and the settings file spell them.
[[nodiscard]] QString languageCode(UiLanguage language);
[[nodiscard]] std::optional<UiLanguage> languageFromCode(const QString& code);

// `--lang en|ru` (or `--lang=en`) taken out of the command line.
class LanguageOption {
public:
    // `arguments` as Qt leaves them, program name first.
    explicit LanguageOption(const QStringList& arguments);

    // A `--lang` without a value, or with one that is neither "en" nor "ru".
    [[nodiscard]] bool valid() const { return m_valid; }
    [[nodiscard]] const std::optional<UiLanguage>& language() const { return m_language; }
    // The arguments without the option.
    [[nodiscard]] const QStringList& rest() const { return m_rest; }

private:
    QStringList m_rest;
    std::optional<UiLanguage> m_language;
    bool m_valid = true;
};

// The choice kept between runs: key "language" of the tool's settings.
class LanguageSetting {
public:
    static constexpr const char* kKey = "language";

    explicit LanguageSetting(QSettings& settings) : m_settings(settings) {}
    // Nothing, or an unknown value, when the user never chose.
    [[nodiscard]] std::optional<UiLanguage> saved() const;
    void save(UiLanguage language);

private:
    QSettings& m_settings;
};

// The command line first, then the user's saved choice, else English where
// the system speaks English and Russian everywhere else.
[[nodiscard]] UiLanguage chooseLanguage(const std::optional<UiLanguage>& option,
                                        const std::optional<UiLanguage>& saved, const QLocale& system);

}  // namespace kv6::app
