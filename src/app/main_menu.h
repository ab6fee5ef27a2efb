#pragma once

#include <QObject>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;

namespace kv6::app {

// MainMenu1 of the main window: the menu tree with the designer names of its
// items as objectName. It only builds; the window connects the handlers.
class MainMenu final : public QObject {
    Q_OBJECT
public:
    explicit MainMenu(QMenuBar* bar);

    // "Файл"
    QMenu* FileMenu;
    QAction* N5;  // "Сохранить в файл"
    QAction* N7;  // "Загрузить из файла"
    QAction* N3;  // "Выйти", Ctrl+A
    // "Настройки"
    QMenu* SettingsMenu;
    QAction* COM1;       // "COM порт"
    // "Язык / Language": the same in both languages, each language named in itself
    QMenu* LanguageMenu;
    QActionGroup* Languages;
    QAction* LanguageRussian;  // "Русский"
    QAction* LanguageEnglish;  // "English"
    QAction* N11;        // "Дополнительно", tick item
    QAction* N16;        // "Сменить пароль доступа", a write control
    QAction* N22;        // "Сброс настроек прибора"
    QMenu* ResetMenu;    // "Сброс", hidden
    QAction* N25;        // "Состояние разделов"
    // "Считать"
    QMenu* ReadMenu;
    QAction* N8;  // "Настройки модуля"
    // "test", hidden; toggles the repeated write test
    QAction* dad1;
    // "Записать", a write control as a whole
    QMenu* N14;
    QAction* N15;  // "Настройки модуля"
    // "Удалённый доступ"
    QMenu* IP1;
    QAction* N18;  // "Ожидание"
    QAction* N19;  // "Разъединить"
};

}  // namespace kv6::app
