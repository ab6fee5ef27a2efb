#include "app/side_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <string>

#include "image/win1251.h"

namespace kv6::app {

namespace {

constexpr int kPortMin = 1;
constexpr int kPortMax = 99;

QString decodeText(const QByteArray& bytes, bool* windows1251) {
    const std::string raw = bytes.toStdString();
    const bool utf8 = image::isValidUtf8(raw);
    if (windows1251) *windows1251 = !utf8;
    if (utf8) {
        QString text = QString::fromUtf8(bytes);
        if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
        return text;
    }
    return QString::fromStdString(image::windows1251ToUtf8(raw));
}

// Lines as a Windows string list splits them: at CR, LF or CR LF; a final
// line break does not add an empty line.
QStringList splitLines(QString text) {
    if (text.isEmpty()) return {};
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty()) lines.removeLast();
    return lines;
}

// Lines go back in the code page the file came in, so that lines the tool
// does not use stay byte for byte as they were.
QString writeLines(const QString& path, const QStringList& lines, bool windows1251) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    QByteArray bytes;
    for (const QString& line : lines) {
        const QByteArray utf8 = line.toUtf8();
        bytes += windows1251 ? QByteArray::fromStdString(image::utf8ToWindows1251(utf8.toStdString())) : utf8;
        bytes += '\n';
    }
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit()) return file.errorString();
    return {};
}

QString existingFile(const QString& directory, const QString& name) {
    if (directory.isEmpty()) return {};
    const QFileInfo info(QDir(directory).filePath(name));
    return info.isFile() ? info.filePath() : QString();
}

// A save writes a new file beside the old one and renames it: both the file
// and its folder must be writable.
bool canReplace(const QString& path) {
    const QFileInfo info(path);
    return info.isWritable() && QFileInfo(info.absolutePath()).isWritable();
}

}  // namespace

SideFiles::SideFiles(SideFileLocations locations, UiLanguage language)
    : m_locations(std::move(locations)), m_language(language), m_zoneTypes(presetZoneTypes()) {}

SideFiles::SideFiles(QString programDirectory, QString fallbackDirectory)
    : SideFiles(SideFileLocations{std::move(programDirectory), {}, std::move(fallbackDirectory), {}}) {}

QStringList SideFiles::presetZoneTypes() {
    return {QStringLiteral("Вход/Выход"), QStringLiteral("Объём"), QStringLiteral("Периметр"),
            QStringLiteral("24х часовая"), QStringLiteral("Пожарная")};
}

void SideFiles::loadAll() {
    loadPortLines();
    loadJournalTexts();
    if (loadInto(QString::fromLatin1(kZoneTypeFile), m_zoneTypes))
        m_zoneTypes.append(QString::fromUtf8(kExtraZoneType));
    loadInto(QString::fromLatin1(kDeviceTypeFile), m_deviceTypes);
}

bool SideFiles::loadPortLines() {
    const QString path = locate(QString::fromLatin1(kPortFile));
    if (path.isEmpty()) return false;
    std::optional<QStringList> lines = readLines(path, &m_portFileWindows1251);
    if (!lines) return false;
    m_portLines = std::move(*lines);
    m_portFilePath = path;
    return true;
}

std::optional<QString> SideFiles::portSetting() const {
    if (m_portLines.isEmpty()) return std::nullopt;
    return parsePortLine(m_portLines.first());
}

bool SideFiles::reactivePacing() const {
    for (qsizetype i = 1; i < m_portLines.size(); ++i) {
        QString line = m_portLines[i];
        line.remove(QLatin1Char(' ')).remove(QLatin1Char('\t'));
        if (line.compare(QStringLiteral("pace=reactive"), Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

std::optional<QString> SideFiles::parsePortLine(const QString& line) {
    const QString text = line.trimmed();
    if (text.isEmpty()) return std::nullopt;
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    if (ok) return QString::number(std::clamp(number, kPortMin, kPortMax));
    if (text.startsWith(QLatin1Char('/'))) return text;
    return std::nullopt;
}

QString SideFiles::savePortLine(const QString& line1) {
    if (m_portLines.isEmpty()) m_portLines.append(QString());
    m_portLines[0] = line1;
    const QString name = QString::fromLatin1(kPortFile);
    const QString userDirectory = m_locations.userConfigDirectory();
    const QString userPath = userDirectory.isEmpty() ? QString() : QDir::cleanPath(QDir(userDirectory).filePath(name));
    QStringList targets;
    if (!m_portFilePath.isEmpty()) targets << QDir::cleanPath(m_portFilePath);
    if (!m_locations.programDirectory.isEmpty())
        targets << QDir::cleanPath(QDir(m_locations.programDirectory).filePath(name));
    if (!userPath.isEmpty()) targets << userPath;
    targets.removeDuplicates();
    QStringList reasons;
    for (const QString& path : targets) {
        if (path == userPath) QDir().mkpath(userDirectory);
        const QString reason = writeLines(path, m_portLines, m_portFileWindows1251);
        if (reason.isEmpty()) {
            m_portFilePath = path;
            return {};
        }
        reasons << QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason;
    }
    if (reasons.isEmpty()) return QStringLiteral("no folder to write %1 to").arg(name);
    return reasons.join(QLatin1Char('\n'));
}

QString SideFiles::locate(const QString& name) const {
    QString found;
    for (const QString& directory : m_locations.searchOrder()) {
        found = existingFile(directory, name);
        if (!found.isEmpty()) break;
    }
    if (name != QLatin1String(kPortFile) || found.isEmpty() || canReplace(found)) return found;
    if (QFileInfo(found).dir() != QDir(m_locations.programDirectory)) return found;
    const QString own = existingFile(m_locations.userConfigDirectory(), name);
    return own.isEmpty() ? found : own;
}

std::optional<QStringList> SideFiles::readLines(const QString& path, bool* windows1251) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    if (file.size() > kMaxFileSize) return std::nullopt;
    // Reading "at most the limit" would allocate the whole limit each time;
    // a regular file's size is known, a device or pipe is read to the limit.
    const QByteArray bytes = file.read(file.isSequential() ? kMaxFileSize + 1 : file.size() + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxFileSize) return std::nullopt;
    return splitLines(decodeText(bytes, windows1251));
}

bool SideFiles::loadInto(const QString& name, QStringList& target, bool* windows1251) const {
    const QString path = locate(name);
    if (path.isEmpty()) return false;
    std::optional<QStringList> lines = readLines(path, windows1251);
    if (!lines) return false;
    target = std::move(*lines);
    return true;
}

bool SideFiles::loadJournalTexts() {
    QStringList names;
    if (m_language == UiLanguage::English) names << QString::fromLatin1(kEnglishJournalFile);
    names << QString::fromLatin1(kJournalFile);
    for (const QString& directory : m_locations.searchOrder()) {
        bool found = false;
        for (const QString& name : names) {
            const QString path = existingFile(directory, name);
            if (path.isEmpty()) continue;
            found = true;
            std::optional<QStringList> lines = readLines(path);
            if (!lines) continue;
            m_journalTexts = std::move(*lines);
            m_journalFilePath = path;
            return true;
        }
        if (found) return false;
    }
    return false;
}

}  // namespace kv6::app
