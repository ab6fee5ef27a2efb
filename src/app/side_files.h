#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "app/side_file_locations.h"
#include "app/ui_language.h"

namespace kv6::app {

// The tool's own settings in plain text files, each optional: param2 (line 1:
// the serial port), parame (journal texts), paramp (zone types), paramd
// (device types). Each is read from the first folder of SideFileLocations'
// search order that has it. Every failure while reading is silent: the list
// keeps what it held. In English the journal texts come from parame.en, or
// from parame in the same folder when parame.en is missing or unreadable.
class SideFiles {
public:
    static constexpr const char* kPortFile = "param2";
    static constexpr const char* kJournalFile = "parame";
    static constexpr const char* kEnglishJournalFile = "parame.en";
    static constexpr const char* kZoneTypeFile = "paramp";
    static constexpr const char* kDeviceTypeFile = "paramd";
    // Appended to a loaded zone type list.
    static constexpr const char* kExtraZoneType = "24х часовая\t000\t35";
    // A side file larger than this is not a settings file; it is skipped.
    static constexpr qint64 kMaxFileSize = 1 << 20;

    // `language`: the run's, which chooses the journal texts' file.
    explicit SideFiles(SideFileLocations locations, UiLanguage language = UiLanguage::Russian);
    // Only the program directory, then the fallback one (the current directory).
    SideFiles(QString programDirectory, QString fallbackDirectory);

    // The first tick's step: param2, parame, paramp, paramd, in that order.
    void loadAll();
    // Reloads param2 into the port lines; false when it is missing or unreadable.
    bool loadPortLines();

    // Line 1 of param2 as a port setting, when it is one.
    [[nodiscard]] std::optional<QString> portSetting() const;
    // True when a later line of param2 reads "pace=reactive" (blanks and
    // case aside): the link then answers the module as soon as it replies.
    // Without that line the link keeps the module's pacing.
    [[nodiscard]] bool reactivePacing() const;
    // A number (clamped to 1..99, as the port dialog's spinner holds it) or a
    // device path. Empty text, letters or an overflowing number give nothing.
    [[nodiscard]] static std::optional<QString> parsePortLine(const QString& line);

    // Replaces line 1 of the port lines (adding it when there is none) and
    // writes param2 where it was read from, else next to the executable, else
    // into the user's configuration folder (made when missing). Returns the
    // reasons, one line per place tried, when none could be written.
    QString savePortLine(const QString& line1);
    // Where param2 was last read from or written to; empty before either.
    [[nodiscard]] QString portFilePath() const { return m_portFilePath; }
    // Where the journal texts were read from; empty when nothing was.
    [[nodiscard]] QString journalFilePath() const { return m_journalFilePath; }

    // Where the file is read from: the first folder of the search order that
    // has it; empty when none does. A param2 beside the executable that the
    // user cannot replace gives way to the user's own copy, so that a port
    // choice saved there survives a restart.
    [[nodiscard]] QString locate(const QString& name) const;
    // The lines of a text file: UTF-8 when valid, else Windows-1251 (then
    // *windows1251 is set, when given).
    [[nodiscard]] static std::optional<QStringList> readLines(const QString& path, bool* windows1251 = nullptr);

    [[nodiscard]] const QStringList& portLines() const { return m_portLines; }
    [[nodiscard]] const QStringList& journalTexts() const { return m_journalTexts; }
    [[nodiscard]] const QStringList& zoneTypes() const { return m_zoneTypes; }
    [[nodiscard]] const QStringList& deviceTypes() const { return m_deviceTypes; }
    [[nodiscard]] static QStringList presetZoneTypes();

private:
    // Loads `name` into `target` when it can be read; the target stays otherwise.
    bool loadInto(const QString& name, QStringList& target, bool* windows1251 = nullptr) const;
    // parame, or in English parame.en before it, from the first folder that
    // has either: a user's own parame is never passed over for a shipped one.
    bool loadJournalTexts();

    SideFileLocations m_locations;
    UiLanguage m_language;
    QStringList m_portLines;
    QString m_portFilePath;
    bool m_portFileWindows1251 = false;  // param2 is written back in the code page it came in
    QStringList m_journalTexts;
    QString m_journalFilePath;
    QStringList m_zoneTypes;
    QStringList m_deviceTypes;
};

}  // namespace kv6::app
