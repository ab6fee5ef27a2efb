#include "cyrillic_texts.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTextEdit>

namespace kv6::app::test {

namespace {

QString describe(const QWidget* widget) {
    const QString name = widget->objectName().isEmpty() ? QStringLiteral("(no name)") : widget->objectName();
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(widget->metaObject()->className()), name);
}

// Every cell of a model and the cells below them (trees), with its tool tip.
void cellTexts(const QAbstractItemModel& model, const QModelIndex& parent, QStringList& out) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        for (int column = 0; column < model.columnCount(parent); ++column) {
            const QModelIndex cell = model.index(row, column, parent);
            out << model.data(cell, Qt::DisplayRole).toString() << model.data(cell, Qt::ToolTipRole).toString();
            if (column == 0 && model.hasChildren(cell)) cellTexts(model, cell, out);
        }
    }
}

QStringList modelTexts(const QAbstractItemModel& model) {
    QStringList out;
    for (int column = 0; column < model.columnCount(); ++column)
        out << model.headerData(column, Qt::Horizontal).toString();
    for (int row = 0; row < model.rowCount(); ++row) out << model.headerData(row, Qt::Vertical).toString();
    cellTexts(model, QModelIndex(), out);
    return out;
}

}  // namespace

bool CyrillicTexts::cyrillic(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x0400 && c.unicode() <= 0x04FF) return true;
    return false;
}

void CyrillicTexts::report(const QString& where, const QWidget* widget, const QString& kind, const QString& text) {
    if (!cyrillic(text) || m_allowed.contains(text)) return;
    m_faults << QStringLiteral("%1: %2 %3 \"%4\"").arg(where, describe(widget), kind, text);
}

void CyrillicTexts::walk(const QWidget* root, const QString& where) {
    check(root, where);
    for (const QWidget* child : root->findChildren<QWidget*>()) check(child, where);
}

void CyrillicTexts::checkMenu(const QMenu* menu, const QString& where) {
    report(where, menu, QStringLiteral("title"), menu->title());
    for (const QAction* action : menu->actions()) {
        report(where, menu, QStringLiteral("entry"), action->text());
        report(where, menu, QStringLiteral("entry tip"), action->toolTip());
        if (action->menu()) checkMenu(action->menu(), where);
    }
}

void CyrillicTexts::check(const QWidget* widget, const QString& where) {
    if (widget->isWindow()) report(where, widget, QStringLiteral("title"), widget->windowTitle());
    report(where, widget, QStringLiteral("tool tip"), widget->toolTip());
    report(where, widget, QStringLiteral("status tip"), widget->statusTip());
    for (const QAction* action : widget->actions()) {  // context menus made of the widget's actions
        report(where, widget, QStringLiteral("action"), action->text());
        if (action->menu()) checkMenu(action->menu(), where);
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        report(where, widget, QStringLiteral("text"), label->text());
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        report(where, widget, QStringLiteral("text"), button->text());
    } else if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
        report(where, widget, QStringLiteral("title"), group->title());
    } else if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        report(where, widget, QStringLiteral("text"), edit->text());
        report(where, widget, QStringLiteral("placeholder"), edit->placeholderText());
    } else if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget)) {
        report(where, widget, QStringLiteral("text"), plain->toPlainText());
        report(where, widget, QStringLiteral("placeholder"), plain->placeholderText());
    } else if (const auto* rich = qobject_cast<const QTextEdit*>(widget)) {
        report(where, widget, QStringLiteral("text"), rich->toPlainText());
    } else if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        report(where, widget, QStringLiteral("placeholder"), combo->placeholderText());
        for (int i = 0; i < combo->count(); ++i) report(where, widget, QStringLiteral("entry"), combo->itemText(i));
    } else if (const auto* view = qobject_cast<const QAbstractItemView*>(widget)) {
        if (view->model())
            for (const QString& text : modelTexts(*view->model())) report(where, widget, QStringLiteral("item"), text);
    } else if (const auto* tabs = qobject_cast<const QTabBar*>(widget)) {
        for (int i = 0; i < tabs->count(); ++i) {
            report(where, widget, QStringLiteral("tab"), tabs->tabText(i));
            report(where, widget, QStringLiteral("tab tip"), tabs->tabToolTip(i));
        }
    } else if (const auto* bar = qobject_cast<const QMenuBar*>(widget)) {
        for (const QAction* action : bar->actions()) {
            report(where, widget, QStringLiteral("menu"), action->text());
            if (action->menu()) checkMenu(action->menu(), where);
        }
    } else if (const auto* menu = qobject_cast<const QMenu*>(widget)) {
        checkMenu(menu, where);
    }
}

}  // namespace kv6::app::test
