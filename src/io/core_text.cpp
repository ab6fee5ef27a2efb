#include "io/core_text.h"

#include <QCoreApplication>
#include <array>
#include <string>

namespace kv6::io {

namespace {

constexpr const char* kContext = "kv6::io::CoreText";

// Texts shown whole.
constexpr std::array kTexts = {
    QT_TRANSLATE_NOOP("kv6::io::CoreText", " Чтение данных завершено"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", "!!! ОШИБКА чтение данных - Пароль не совпал"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", " Запись данных завершена"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", " Ошибка записи данных"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", " Ошибка чтения данных"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText",
                      " Модуль не отвечает.\n Проверьте соединение и настройки порта.\n Перегрузите модуль."),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", " Пароль на чтение изменён"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", " Настройки модуля приведены к заводским"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", "Удалённый доступ -Ожидание-"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", "Удалённый доступ -Соединено-"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", "Удалённый доступ. Разъеденён"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", " !!!ОШИБКА изменения пароля"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", " Нет соединения с модулем"),
    // A page's write button asks.
    QT_TRANSLATE_NOOP("kv6::io::CoreText", "Сохранить изменения ?"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", " Запись"),
    // The preset zone types, shown while no paramp names the module's own.
    QT_TRANSLATE_NOOP("kv6::io::CoreText", "Вход/Выход"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", "Объём"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", "Периметр"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", "24х часовая"),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", "Пожарная"),
};

// Texts that go on with progress marks or the object's number.
constexpr std::array kStarts = {
    QT_TRANSLATE_NOOP("kv6::io::CoreText", " Чтение данных "),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", " Запись данных "),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", " Сброс настроек ожидание "),
    QT_TRANSLATE_NOOP("kv6::io::CoreText", "Удалённый доступ. Объект "),
};

}  // namespace

QString coreText(std::string_view text) {
    for (const char* known : kTexts)
        if (text == known) return QCoreApplication::translate(kContext, known);
    for (const char* known : kStarts) {
        const std::string_view start(known);
        if (text.substr(0, start.size()) != start) continue;
        return QCoreApplication::translate(kContext, known) +
               QString::fromUtf8(text.data() + start.size(), static_cast<qsizetype>(text.size() - start.size()));
    }
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace kv6::io
