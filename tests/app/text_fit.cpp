#include "text_fit.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTableWidget>
#include <QTextDocument>
#include <QToolButton>
#include <algorithm>

#include "widgets/value_list_editor.h"

namespace kv6::app::test {

namespace {

QString shownText(QString text) { return text.remove(QLatin1Char('&')); }

int widestLine(const QFontMetrics& metrics, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

QString describe(const QWidget* widget) {
    const QString name = widget->objectName().isEmpty() ? QStringLiteral("(no name)") : widget->objectName();
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(widget->metaObject()->className()), name);
}

}  // namespace

void TextFit::report(const QString& where, const QWidget* widget, const QString& text, int needed, int given) {
    if (text.isEmpty() || needed <= given) return;
    m_faults << QStringLiteral("%1: %2 \"%3\" needs %4 px, has %5").arg(where, describe(widget), text).arg(needed).arg(given);
}

void TextFit::walk(const QWidget* root, const QString& where) {
    check(root, where);
    for (const QWidget* child : root->findChildren<QWidget*>())
        if (child->isVisible() && child->window() == root->window()) check(child, where);
}

void TextFit::checkTitle(const QWidget* window, const QString& where) {
    QFont font = window->font();
    font.setBold(true);  // window managers draw titles bold, or at least no narrower
    report(where, window, window->windowTitle(),
           QFontMetrics(font).horizontalAdvance(window->windowTitle()) + kTitleBarRoom, window->frameGeometry().width());
}

void TextFit::check(const QWidget* widget, const QString& where) {
    const QFontMetrics metrics = widget->fontMetrics();
    QStyle* style = widget->style();
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        const QString text = label->text();
        if (text.isEmpty()) return;
        const QRect room = label->contentsRect().marginsRemoved(QMargins(label->margin(), label->margin(),
                                                                         label->margin(), label->margin()));
        if (label->wordWrap() || Qt::mightBeRichText(text)) {
            report(where, label, text, label->heightForWidth(label->width()), label->height());
            return;
        }
        const int indent = std::max(0, label->indent());
        report(where, label, text, widestLine(metrics, text) + indent, room.width());
        return;
    }
    if (const auto* box = qobject_cast<const QCheckBox*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect room = style->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        report(where, box, box->text(), metrics.horizontalAdvance(shownText(box->text())), room.width());
        return;
    }
    if (const auto* radio = qobject_cast<const QRadioButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        const QRect room = style->subElementRect(QStyle::SE_RadioButtonContents, &option, radio);
        report(where, radio, radio->text(), metrics.horizontalAdvance(shownText(radio->text())), room.width());
        return;
    }
    if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.features = button->isFlat() ? QStyleOptionButton::Flat : QStyleOptionButton::None;
        const QRect room = style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        report(where, button, button->text(), metrics.horizontalAdvance(shownText(button->text())) + icon,
               room.width());
        return;
    }
    if (const auto* tool = qobject_cast<const QToolButton*>(widget)) {
        if (tool->toolButtonStyle() == Qt::ToolButtonIconOnly && !tool->icon().isNull()) return;
        const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, tool);
        report(where, tool, tool->text(), metrics.horizontalAdvance(shownText(tool->text())),
               tool->width() - 2 * frame);
        return;
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
        if (group->title().isEmpty()) return;
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        if (group->isCheckable()) option.subControls |= QStyle::SC_GroupBoxCheckBox;
        const QRect label = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        report(where, group, group->title(), std::max(label.right() + 1, label.left() + metrics.horizontalAdvance(shownText(group->title()))),
               group->width());
        return;
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        if (combo->isEditable()) return;  // an edit scrolls its text
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = false;
        option.frame = combo->hasFrame();
        const QRect room = style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
        if (!combo->placeholderText().isEmpty()) texts << combo->placeholderText();
        for (const QString& text : texts) report(where, combo, text, metrics.horizontalAdvance(text), room.width());
        return;
    }
    if (const auto* header = qobject_cast<const QHeaderView*>(widget)) {
        if (header->orientation() != Qt::Horizontal || !header->model()) return;
        QFont font = header->font();
        if (header->highlightSections()) font.setBold(true);  // the current column's title is drawn bold
        const QFontMetrics titleMetrics(font);
        const int margin = 2 * style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        for (int section = 0; section < header->count(); ++section) {
            if (header->isSectionHidden(section)) continue;
            const QString text = header->model()->headerData(section, Qt::Horizontal).toString();
            report(where, header, text, titleMetrics.horizontalAdvance(text) + margin, header->sectionSize(section));
        }
        return;
    }
    if (const auto* grid = qobject_cast<const widgets::ValueListEditor*>(widget)) {
        const int margin = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
        for (int row = 0; row < grid->rowCount(); ++row) {
            if (grid->isRowHidden(row) || !grid->item(row, 0)) continue;
            const QString key = grid->item(row, 0)->text();
            report(where, grid, key, metrics.horizontalAdvance(key) + margin, grid->columnWidth(0));
        }
    }
}

}  // namespace kv6::app::test
