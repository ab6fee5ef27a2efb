#include "app/main_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

namespace kv6::app {

namespace {

QMenu* menu(QWidget* parent, const QString& title, const char* name) {
    auto* result = new QMenu(title, parent);
    result->setObjectName(QString::fromLatin1(name));
    result->menuAction()->setObjectName(QString::fromLatin1(name) + QStringLiteral("Action"));
    return result;
}

QAction* item(QMenu* parent, const QString& text, const char* name) {
    QAction* action = parent->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

}  // namespace

MainMenu::MainMenu(QMenuBar* bar) : QObject(bar) {
    bar->setObjectName(QStringLiteral("MainMenu1"));

    FileMenu = menu(bar, tr("Файл"), "FileMenu");
    N5 = item(FileMenu, tr("Сохранить в файл"), "N5");
    N7 = item(FileMenu, tr("Загрузить из файла"), "N7");
    FileMenu->addSeparator();
    N3 = item(FileMenu, tr("Выйти"), "N3");
    N3->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    bar->addMenu(FileMenu);

    SettingsMenu = menu(bar, tr("Настройки"), "SettingsMenu");
    COM1 = item(SettingsMenu, tr("COM порт"), "COM1");
    // Not translated: whoever cannot read the one language finds the other.
    LanguageMenu = menu(SettingsMenu, QStringLiteral("Язык / Language"), "LanguageMenu");
    Languages = new QActionGroup(LanguageMenu);
    LanguageRussian = item(LanguageMenu, QStringLiteral("Русский"), "LanguageRussian");
    LanguageEnglish = item(LanguageMenu, QStringLiteral("English"), "LanguageEnglish");
    for (QAction* language : {LanguageRussian, LanguageEnglish}) {
        language->setCheckable(true);
        Languages->addAction(language);
    }
    SettingsMenu->addMenu(LanguageMenu);
    SettingsMenu->addSeparator();
    N11 = item(SettingsMenu, tr("Дополнительно"), "N11");
    N11->setCheckable(true);
    N11->setChecked(false);
    SettingsMenu->addSeparator();
    N16 = item(SettingsMenu, tr("Сменить пароль доступа"), "N16");
    N16->setEnabled(false);
    SettingsMenu->addSeparator();
    N22 = item(SettingsMenu, tr("Сброс настроек прибора"), "N22");
    SettingsMenu->addSeparator();
    ResetMenu = menu(SettingsMenu, tr("Сброс"), "ResetMenu");
    N25 = item(ResetMenu, tr("Состояние разделов"), "N25");
    SettingsMenu->addMenu(ResetMenu);
    ResetMenu->menuAction()->setVisible(false);
    bar->addMenu(SettingsMenu);

    ReadMenu = menu(bar, tr("Считать"), "ReadMenu");
    N8 = item(ReadMenu, tr("Настройки модуля"), "N8");
    bar->addMenu(ReadMenu);

    dad1 = bar->addAction(QStringLiteral("test"));
    dad1->setObjectName(QStringLiteral("dad1"));
    dad1->setVisible(false);

    N14 = menu(bar, tr("Записать"), "N14");
    N15 = item(N14, tr("Настройки модуля"), "N15");
    bar->addMenu(N14);
    N14->menuAction()->setEnabled(false);

    IP1 = menu(bar, tr("Удалённый доступ"), "IP1");
    N18 = item(IP1, tr("Ожидание"), "N18");
    IP1->addSeparator();
    N19 = item(IP1, tr("Разъединить"), "N19");
    bar->addMenu(IP1);
}

}  // namespace kv6::app
