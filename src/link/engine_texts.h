#pragma once

#include <string_view>

// Status and message texts of the transfer engine and the service commands
// (UTF-8; translated where they reach the Qt layer).
namespace kv6::link::texts {

inline constexpr std::string_view kReadProgress = " Чтение данных ";
inline constexpr std::string_view kReadDone = " Чтение данных завершено";
inline constexpr std::string_view kPasswordMismatch = "!!! ОШИБКА чтение данных - Пароль не совпал";
inline constexpr std::string_view kWriteProgress = " Запись данных ";
inline constexpr std::string_view kWriteDone = " Запись данных завершена";
inline constexpr std::string_view kWriteError = " Ошибка записи данных";
inline constexpr std::string_view kReadError = " Ошибка чтения данных";
inline constexpr std::string_view kNoAnswer =
    " Модуль не отвечает.\n Проверьте соединение и настройки порта.\n Перегрузите модуль.";
inline constexpr std::string_view kPasswordChanged = " Пароль на чтение изменён";
inline constexpr std::string_view kResetDone = " Настройки модуля приведены к заводским";
inline constexpr std::string_view kResetWaiting = " Сброс настроек ожидание ";

}  // namespace kv6::link::texts
