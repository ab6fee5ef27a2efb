#include "widgets/edit_mask.h"

#include <QLineEdit>

namespace kv6::widgets {

namespace {

// Characters with a meaning in a Qt input mask; as literals they need '\'.
const QString kQtMaskSpecials = QStringLiteral("AaNnXx90DdHhBb#<>![]{}\\");

QString literal(QChar c) {
    return kQtMaskSpecials.contains(c) ? QString('\\') + c : QString(c);
}

QChar qtPlaceholder(QChar c) {
    switch (c.unicode()) {
    case '0': return '9';
    case '9': return '0';
    case 'A': return 'N';
    case 'a': return 'n';
    case 'L': return 'A';
    case 'l': return 'a';
    case 'C': return 'X';
    case 'c': return 'x';
    case '#': return '#';
    default: return QChar();
    }
}

}  // namespace

EditMask::EditMask(const QString& delphiMask) : m_delphiMask(delphiMask) {
    QString mask;
    for (int i = 0; i < delphiMask.size(); ++i) {
        const QChar c = delphiMask[i];
        if (c == '\\' && i + 1 < delphiMask.size()) {
            mask += literal(delphiMask[++i]);
        } else if (c == ';') {
            break;  // ";save literals;blank character" do not concern the cell text
        } else if (c == '<' && i + 1 < delphiMask.size() && delphiMask[i + 1] == '>') {
            mask += '!';
            ++i;
        } else if (c == '>' || c == '<') {
            mask += c;
        } else if (c == '!') {
            continue;  // leading-blanks option, nothing to translate
        } else if (c == '_') {
            mask += ' ';
        } else if (const QChar p = qtPlaceholder(c); !p.isNull()) {
            mask += p;
        } else {
            mask += literal(c);
        }
    }
    m_qtMask = mask;
    for (int i = 0; i < mask.size(); ++i) {
        const QChar c = mask[i];
        if (c == '\\') {
            m_editorMask += c;
            if (i + 1 < mask.size()) m_editorMask += mask[++i];
            continue;
        }
        switch (c.unicode()) {
        case '9': m_editorMask += '0'; break;
        case 'N': m_editorMask += 'n'; break;
        case 'A': m_editorMask += 'a'; break;
        case 'X': m_editorMask += 'x'; break;
        default: m_editorMask += c; break;
        }
    }
    findDigitGroups();
}

void EditMask::findDigitGroups() {
    QList<int> groups{0};
    QString separators;
    for (const QChar c : m_delphiMask) {
        if (c == '0' || c == '9') {
            ++groups.last();
        } else if (c == ';') {
            break;
        } else if (!c.isLetterOrNumber() && c != '\\' && c != '!' && c != '<' && c != '>' && c != '_' &&
                   c != '#' && groups.last() > 0) {
            separators += c;
            groups.append(0);
        } else {
            return;
        }
    }
    if (groups.size() < 2 || groups.last() == 0) return;
    m_groupLengths = groups;
    m_separators = separators;
}

std::optional<QString> EditMask::padGroups(const QString& text) const {
    QString result;
    int start = 0;
    for (int g = 0; g < m_groupLengths.size(); ++g) {
        const bool last = g == m_groupLengths.size() - 1;
        const int end = last ? int(text.size()) : int(text.indexOf(m_separators[g], start));
        if (end < 0) return std::nullopt;
        const QString group = text.mid(start, end - start).trimmed();
        if (group.isEmpty() || group.size() > m_groupLengths[g]) return std::nullopt;
        result += QString(m_groupLengths[g] - group.size(), '0') + group;
        if (!last) result += m_separators[g];
        start = end + 1;
    }
    return result;
}

std::optional<QString> EditMask::normalise(const QString& text) const {
    if (isEmpty()) return text;
    QString withoutLiterals = text;
    for (const QChar s : m_separators) withoutLiterals.remove(s);
    if (withoutLiterals.trimmed().isEmpty()) return QString();
    QString candidate = text;
    if (!m_groupLengths.isEmpty()) {
        const auto padded = padGroups(text);
        if (!padded) return std::nullopt;
        candidate = *padded;
    }
    // The line edit applies the mask exactly as the cell editor does.
    QLineEdit scratch;
    scratch.setInputMask(m_qtMask);
    scratch.setText(candidate);
    // Characters the mask skipped or cut off make the entry a different one.
    if (!scratch.hasAcceptableInput() || scratch.text().compare(candidate, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return scratch.text();
}

}  // namespace kv6::widgets
