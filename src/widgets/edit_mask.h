#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace kv6::widgets {

// A Delphi-style edit mask ("000000", "AAAA", "000.000.000.000") translated
// to a Qt input mask: '0' requires a digit, '9' permits one, 'A' requires a
// letter or digit, 'a' permits one, 'L'/'l' a letter, 'C'/'c' any character,
// '>' '<' "<>" case conversion, '\' escapes a literal; other characters are
// literals kept in the text. The optional ";save;blank" suffix is ignored.
class EditMask {
public:
    EditMask() = default;
    explicit EditMask(const QString& delphiMask);

    [[nodiscard]] bool isEmpty() const { return m_qtMask.isEmpty(); }
    [[nodiscard]] const QString& delphiMask() const { return m_delphiMask; }
    [[nodiscard]] const QString& qtInputMask() const { return m_qtMask; }
    // The mask for the cell's line edit: the same shape with every position
    // optional, so that a partial dotted entry or a cleared cell can be
    // committed; normalise() then pads or refuses it.
    [[nodiscard]] const QString& editorInputMask() const { return m_editorMask; }

    // The text a cell holds once a user's entry passes the mask: a blank entry
    // gives an empty text; the groups of a dotted digit mask are padded with
    // leading zeros (1.2.3.4 -> 001.002.003.004). nullopt when a required
    // position stays empty or a character does not fit.
    [[nodiscard]] std::optional<QString> normalise(const QString& text) const;

private:
    // Digit-only masks split by single literal separators (the dotted IP
    // form): the length of each group and the separators, else empty.
    void findDigitGroups();
    [[nodiscard]] std::optional<QString> padGroups(const QString& text) const;

    QString m_delphiMask;
    QString m_qtMask;
    QString m_editorMask;
    QList<int> m_groupLengths;
    QString m_separators;
};

}  // namespace kv6::widgets
