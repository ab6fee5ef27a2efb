#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTableWidget>
#include <optional>

#include "widgets/edit_mask.h"

namespace kv6::widgets {

// A name/value grid: two titled columns, fixed keys, and per row an optional
// edit mask, a maximum length, a pick list, a character pattern, or a
// read-only value with an ellipsis button. valuesChanged is raised for the
// user's edits only, never for setValue.
class ValueListEditor : public QTableWidget {
    Q_OBJECT

public:
    struct RowSpec {
        QString key;
        QString editMask;        // Delphi-style mask, empty = none
        int maxLength = 0;       // characters, 0 = no limit
        bool readOnly = false;   // the value cannot be typed
        bool ellipsis = false;   // shows a "..." button raising editButtonClicked
        QStringList pickList;    // the value is chosen from these
        QString allowedPattern;  // regular expression every value must match, empty = any
    };

    explicit ValueListEditor(QWidget* parent = nullptr);

    void setTitles(const QString& keyTitle, const QString& valueTitle);
    // Appends a row with an empty value; returns its index.
    int addRow(const RowSpec& spec);

    [[nodiscard]] const RowSpec& rowSpec(int row) const { return m_rows.at(row); }
    [[nodiscard]] const EditMask& editMask(int row) const { return m_masks.at(row); }
    // Gives a row another edit mask (a mask that follows a setting).
    void setEditMask(int row, const QString& delphiMask);
    [[nodiscard]] QSize minimumSizeHint() const override;
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QString key(int row) const;
    [[nodiscard]] QString value(int row) const;
    // Programmatic change: no valuesChanged.
    void setValue(int row, const QString& text);

    // What a user's entry becomes in the row (mask applied, groups padded),
    // or nullopt when the row refuses it.
    [[nodiscard]] std::optional<QString> acceptedValue(int row, const QString& text) const;
    // A user's entry: stored and announced when accepted and different.
    // Returns whether the row accepted it.
    bool commitUserValue(int row, const QString& text);

    // Where a row's ellipsis button is drawn, in viewport coordinates.
    [[nodiscard]] QRect editButtonRect(int row) const;

signals:
    void valuesChanged(int row);
    void editButtonClicked(int row);

private:
    [[nodiscard]] int keyTitleWidth() const;
    QList<RowSpec> m_rows;
    QList<EditMask> m_masks;
};

}  // namespace kv6::widgets
