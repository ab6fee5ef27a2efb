<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ru_RU">
<context>
    <name>QObject</name>
    <message>
        <source>Раздел %1</source>
        <translation>Partition %1</translation>
    </message>
</context>
<context>
    <name>kv6::app::MainMenu</name>
    <message>
        <source>Файл</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Сохранить в файл</source>
        <translation>Save to file</translation>
    </message>
    <message>
        <source>Загрузить из файла</source>
        <translation>Load from file</translation>
    </message>
    <message>
        <source>Выйти</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>COM порт</source>
        <translation>COM port</translation>
    </message>
    <message>
        <source>Дополнительно</source>
        <translation>Advanced</translation>
    </message>
    <message>
        <source>Сменить пароль доступа</source>
        <translation>Change access password</translation>
    </message>
    <message>
        <source>Сброс настроек прибора</source>
        <translation>Factory reset</translation>
    </message>
    <message>
        <source>Сброс</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>Состояние разделов</source>
        <translation>Partition states</translation>
    </message>
    <message>
        <source>Считать</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>Настройки модуля</source>
        <translation>Module settings</translation>
    </message>
    <message>
        <source>Записать</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Удалённый доступ</source>
        <translation>Remote access</translation>
    </message>
    <message>
        <source>Ожидание</source>
        <translation>Wait for module</translation>
    </message>
    <message>
        <source>Разъединить</source>
        <translation>Disconnect</translation>
    </message>
</context>
<context>
    <name>kv6::app::StandardDialogs</name>
    <message>
        <source>All Files (*.*)</source>
        <translation>All Files (*.*)</translation>
    </message>
    <message>
        <source>Korvel Files (*.prg)</source>
        <translation>Korvel Files (*.prg)</translation>
    </message>
</context>
<context>
    <name>kv6::app::TForm1</name>
    <message>
        <source>Очистить журнал событий</source>
        <translation>Clear event log</translation>
    </message>
    <message>
        <source>Файл: </source>
        <translation>File: </translation>
    </message>
    <message>
        <source>Изменённые поля не записаны в модуль и не сохранены в файл. Отменить изменения ?</source>
        <translation>The changed fields are neither written to the module nor saved to a file. Discard the changes?</translation>
    </message>
    <message>
        <source> Изменения</source>
        <translation> Changes</translation>
    </message>
    <message>
        <source>Запись настроек в модуль не завершена: модуль останется записанным не полностью. Выйти ?</source>
        <translation>Writing the settings to the module has not finished: the module will be left partly written. Exit?</translation>
    </message>
    <message>
        <source> Выход</source>
        <translation> Exit</translation>
    </message>
    <message>
        <source> Идёт чтение данных из модуля. Дождитесь его завершения</source>
        <translation> Reading from the module. Wait until it has finished</translation>
    </message>
    <message>
        <source> Идёт запись данных в модуль. Дождитесь её завершения</source>
        <translation> Writing to the module. Wait until it has finished</translation>
    </message>
    <message>
        <source>Не удалось сохранить файл %1
%2</source>
        <translation>Could not save the file %1
%2</translation>
    </message>
    <message>
        <source> Ошибка</source>
        <translation> Error</translation>
    </message>
    <message>
        <source> Сохранение данных завершено. Файл </source>
        <translation> Saving finished. File </translation>
    </message>
    <message>
        <source>Размер файла %1 байт, а не %2. Загрузить?</source>
        <translation>The file has %1 bytes, not %2. Load it?</translation>
    </message>
    <message>
        <source> Загрузка</source>
        <translation> Load</translation>
    </message>
    <message>
        <source>Не удалось открыть файл %1
%2</source>
        <translation>Could not open the file %1
%2</translation>
    </message>
    <message>
        <source> Загрузка данных завершена. Файл </source>
        <translation> Loading finished. File </translation>
    </message>
    <message>
        <source> (размер файла %1 байт)</source>
        <translation> (file size %1 bytes)</translation>
    </message>
    <message>
        <source> Порт не сохранён: не удалось записать файл param2</source>
        <translation> Port not saved: could not write the file param2</translation>
    </message>
    <message>
        <source>Не удалось сохранить файл param2
%1</source>
        <translation>Could not save the file param2
%1</translation>
    </message>
    <message>
        <source>Записать настройки модуля ?</source>
        <translation>Write the module settings?</translation>
    </message>
    <message>
        <source> Запись</source>
        <translation> Write</translation>
    </message>
    <message>
        <source> Пароль не изменён: текущий пароль вводится пятью цифрами, например 00000</source>
        <translation> Password not changed: enter the current password as five digits, e.g. 00000</translation>
    </message>
    <message>
        <source>Сброс настроек модуля</source>
        <translation>Reset the module to factory settings</translation>
    </message>
    <message>
        <source> Настройки</source>
        <translation> Settings</translation>
    </message>
    <message>
        <source>Объект</source>
        <translation>Object</translation>
    </message>
    <message>
        <source>GSM номера</source>
        <translation>GSM numbers</translation>
    </message>
    <message>
        <source>Коды и Разделы</source>
        <translation>Codes and Partitions</translation>
    </message>
    <message>
        <source>События</source>
        <translation>Events</translation>
    </message>
    <message>
        <source>Тревоги</source>
        <translation>Alarms</translation>
    </message>
    <message>
        <source>SMS сообщения</source>
        <translation>SMS messages</translation>
    </message>
    <message>
        <source>Характеристики</source>
        <translation>Zones</translation>
    </message>
    <message>
        <source>Настройки </source>
        <translation>Settings </translation>
    </message>
    <message>
        <source>Журнал событий</source>
        <translation>Event log</translation>
    </message>
</context>
<context>
    <name>kv6::app::TForm4</name>
    <message>
        <source>Выбрать порт</source>
        <translation>Choose port</translation>
    </message>
    <message>
        <source>Последовательный порт: </source>
        <translation>Serial port: </translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Обновить</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>псевдотерминал</source>
        <translation>pseudo-terminal</translation>
    </message>
    <message>
        <source>Нет прав на порт %1. Добавьте пользователя в группу dialout: sudo adduser $USER dialout, затем выйдите из системы и войдите снова.</source>
        <translation>No permission for the port %1. Add the user to the group dialout: sudo adduser $USER dialout, then log out and log in again.</translation>
    </message>
    <message>
        <source> — нет доступа</source>
        <translation> — no access</translation>
    </message>
</context>
<context>
    <name>kv6::app::TPasswordDlg</name>
    <message>
        <source>Введите пароль</source>
        <translation>Enter password</translation>
    </message>
    <message>
        <source>Пароль на чтение</source>
        <translation>Read password</translation>
    </message>
    <message>
        <source>Новый пароль (0...65535)</source>
        <translation>New password (0...65535)</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>kv6::app::TabChangeMarks</name>
    <message>
        <source>Отменить изменения</source>
        <translation>Undo changes</translation>
    </message>
</context>
<context>
    <name>kv6::io::CoreText</name>
    <message>
        <source> Чтение данных завершено</source>
        <translation> Reading finished</translation>
    </message>
    <message>
        <source>!!! ОШИБКА чтение данных - Пароль не совпал</source>
        <translation>!!! Read ERROR - the password did not match</translation>
    </message>
    <message>
        <source> Запись данных завершена</source>
        <translation> Writing finished</translation>
    </message>
    <message>
        <source> Ошибка записи данных</source>
        <translation> Write error</translation>
    </message>
    <message>
        <source> Ошибка чтения данных</source>
        <translation> Read error</translation>
    </message>
    <message>
        <source> Модуль не отвечает.
 Проверьте соединение и настройки порта.
 Перегрузите модуль.</source>
        <translation> The module does not answer.
 Check the connection and the port settings.
 Restart the module.</translation>
    </message>
    <message>
        <source> Пароль на чтение изменён</source>
        <translation> Read password changed</translation>
    </message>
    <message>
        <source> Настройки модуля приведены к заводским</source>
        <translation> Module reset to factory settings</translation>
    </message>
    <message>
        <source>Удалённый доступ -Ожидание-</source>
        <translation>Remote access -Waiting-</translation>
    </message>
    <message>
        <source>Удалённый доступ -Соединено-</source>
        <translation>Remote access -Connected-</translation>
    </message>
    <message>
        <source>Удалённый доступ. Разъеденён</source>
        <translation>Remote access. Disconnected</translation>
    </message>
    <message>
        <source> !!!ОШИБКА изменения пароля</source>
        <translation> !!!ERROR changing the password</translation>
    </message>
    <message>
        <source> Нет соединения с модулем</source>
        <translation> No connection with the module</translation>
    </message>
    <message>
        <source>Сохранить изменения ?</source>
        <translation>Save the changes?</translation>
    </message>
    <message>
        <source> Запись</source>
        <translation> Write</translation>
    </message>
    <message>
        <source>Вход/Выход</source>
        <translation>Entry/Exit</translation>
    </message>
    <message>
        <source>Объём</source>
        <translation>Interior</translation>
    </message>
    <message>
        <source>Периметр</source>
        <translation>Perimeter</translation>
    </message>
    <message>
        <source>24х часовая</source>
        <translation>24-hour</translation>
    </message>
    <message>
        <source>Пожарная</source>
        <translation>Fire</translation>
    </message>
    <message>
        <source> Чтение данных </source>
        <translation> Reading </translation>
    </message>
    <message>
        <source> Запись данных </source>
        <translation> Writing </translation>
    </message>
    <message>
        <source> Сброс настроек ожидание </source>
        <translation> Factory reset, waiting </translation>
    </message>
    <message>
        <source>Удалённый доступ. Объект </source>
        <translation>Remote access. Object </translation>
    </message>
</context>
<context>
    <name>kv6::io::SerialPort</name>
    <message>
        <source>Нет прав на порт: пользователь должен входить в группу dialout.</source>
        <translation>No permission for the port: the user must be in the group dialout.</translation>
    </message>
</context>
<context>
    <name>kv6::journal::JournalPage</name>
    <message>
        <source>Время</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Код</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>Событие</source>
        <translation>Event</translation>
    </message>
    <message>
        <source>Раздел/Прибор</source>
        <translation>Partition/Device</translation>
    </message>
    <message>
        <source>Зона/Код</source>
        <translation>Zone/Code</translation>
    </message>
    <message>
        <source>Состояние прибора</source>
        <translation>Module state</translation>
    </message>
    <message>
        <source>Последний код:</source>
        <translation>Last code:</translation>
    </message>
    <message>
        <source>Раздел%1: Снят</source>
        <translation>Partition %1: Disarmed</translation>
    </message>
    <message>
        <source>Раздел%1: Охране</source>
        <translation>Partition %1: Armed</translation>
    </message>
    <message>
        <source>Очистить журнал ?</source>
        <translation>Clear the event log?</translation>
    </message>
    <message>
        <source> Журнал событий</source>
        <translation> Event log</translation>
    </message>
</context>
<context>
    <name>kv6::pages::CodesPage</name>
    <message>
        <source>Коды - Разделы</source>
        <translation>Codes - Partitions</translation>
    </message>
    <message>
        <source>Код</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>Значение</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Код %1</source>
        <translation>Code %1</translation>
    </message>
    <message>
        <source>Код 99</source>
        <translation>Code 99</translation>
    </message>
    <message>
        <source>Раздел/Объект</source>
        <translation>Partition/Object</translation>
    </message>
    <message>
        <source> Раздел  </source>
        <translation> Partition  </translation>
    </message>
    <message>
        <source> Номер объекта</source>
        <translation> Object number</translation>
    </message>
    <message>
        <source>Раздел %1</source>
        <translation>Partition %1</translation>
    </message>
    <message>
        <source>Кол-во знаков в кодах пользователей</source>
        <translation>Digits in user codes</translation>
    </message>
    <message>
        <source>Коды пользователей / перепостановочные разделы </source>
        <translation>User codes / re-arming partitions </translation>
    </message>
    <message>
        <source>(Перепостановка)</source>
        <translation>(Re-arm)</translation>
    </message>
</context>
<context>
    <name>kv6::pages::EventsPage</name>
    <message>
        <source>Код Contact ID</source>
        <translation>Contact ID code</translation>
    </message>
    <message>
        <source>TCLIP</source>
        <translation>TCLIP</translation>
    </message>
    <message>
        <source>SMS</source>
        <translation>SMS</translation>
    </message>
    <message>
        <source>Индикация </source>
        <translation>Indication </translation>
    </message>
    <message>
        <source>по таймеру сирены</source>
        <translation>by siren timer</translation>
    </message>
    <message>
        <source>по снятию объекта</source>
        <translation>until disarmed</translation>
    </message>
    <message>
        <source>по пожарной тревоге</source>
        <translation>on fire alarm</translation>
    </message>
    <message>
        <source>Раздел %1</source>
        <translation>Partition %1</translation>
    </message>
    <message>
        <source>Охранный индикатор (LED)</source>
        <translation>Intrusion indicator (LED)</translation>
    </message>
    <message>
        <source>Пожарный индикатор (BELL)</source>
        <translation>Fire indicator (BELL)</translation>
    </message>
    <message>
        <source>Разделы</source>
        <translation>Partitions</translation>
    </message>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
</context>
<context>
    <name>kv6::pages::FieldMarksView</name>
    <message>
        <source>Отменить изменение поля</source>
        <translation>Undo field change</translation>
    </message>
    <message>
        <source>Отменить изменения</source>
        <translation>Undo changes</translation>
    </message>
</context>
<context>
    <name>kv6::pages::GsmPage</name>
    <message>
        <source>GSM номер</source>
        <translation>GSM number</translation>
    </message>
    <message>
        <source>Значение</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>GSM номер </source>
        <translation>GSM number </translation>
    </message>
    <message>
        <source>Код Страны</source>
        <translation>Country code</translation>
    </message>
    <message>
        <source>Вход 1, параметры тревоги</source>
        <translation>Input 1, alarm settings</translation>
    </message>
    <message>
        <source>Вход 2, параметры тревоги</source>
        <translation>Input 2, alarm settings</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>None</translation>
    </message>
    <message>
        <source>GSM номер тревоги</source>
        <translation>Alarm GSM number</translation>
    </message>
    <message>
        <source>Ключ тревоги</source>
        <translation>Alarm key</translation>
    </message>
    <message>
        <source>(Контроль)</source>
        <translation>(Control)</translation>
    </message>
    <message>
        <source>(Сервис)</source>
        <translation>(Service)</translation>
    </message>
    <message>
        <source>(Перепостановка)</source>
        <translation>(Re-arm)</translation>
    </message>
    <message>
        <source>(Постановка/Снятие)</source>
        <translation>(Arm/Disarm)</translation>
    </message>
</context>
<context>
    <name>kv6::pages::ObjectPage</name>
    <message>
        <source>Настройки Объекта</source>
        <translation>Object settings</translation>
    </message>
    <message>
        <source>Свойства Объекта</source>
        <translation>Object properties</translation>
    </message>
    <message>
        <source>Значение</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Объект №</source>
        <translation>Object number</translation>
    </message>
    <message>
        <source>Приемник №</source>
        <translation>Receiver number</translation>
    </message>
    <message>
        <source>Линия №</source>
        <translation>Line number</translation>
    </message>
    <message>
        <source>IP соединение</source>
        <translation>IP connection</translation>
    </message>
    <message>
        <source>IP адрес</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>IP порт</source>
        <translation>IP port</translation>
    </message>
    <message>
        <source>Точка доступа (APN)</source>
        <translation>Access point (APN)</translation>
    </message>
    <message>
        <source>Пользователь</source>
        <translation>User</translation>
    </message>
    <message>
        <source>Пароль</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>IP адрес 2</source>
        <translation>IP address 2</translation>
    </message>
    <message>
        <source>IP порт 2</source>
        <translation>IP port 2</translation>
    </message>
    <message>
        <source>Передача на второй IP адрес</source>
        <translation>Reporting to the second IP address</translation>
    </message>
    <message>
        <source>Неиспользуется</source>
        <translation>Not used</translation>
    </message>
    <message>
        <source>В случае отказа IP1</source>
        <translation>If IP1 fails</translation>
    </message>
    <message>
        <source>Передавать всегда</source>
        <translation>Always</translation>
    </message>
    <message>
        <source>PIN код </source>
        <translation>PIN code </translation>
    </message>
    <message>
        <source>Время Опроса, мин</source>
        <translation>Polling time, min</translation>
    </message>
    <message>
        <source>Кол-во попыток IP1</source>
        <translation>Attempts on IP1</translation>
    </message>
    <message>
        <source>Кол-во попыток IP2</source>
        <translation>Attempts on IP2</translation>
    </message>
    <message>
        <source>Время попытки, сек.</source>
        <translation>Attempt time, s</translation>
    </message>
    <message>
        <source>Отключить GPRS канал</source>
        <translation>GPRS channel off</translation>
    </message>
    <message>
        <source>Сообщение о программирование</source>
        <translation>Programming message</translation>
    </message>
    <message>
        <source>Передавать сообщение об удаленном входе в режим программирования</source>
        <translation>Report a remote entry into programming mode</translation>
    </message>
</context>
<context>
    <name>kv6::pages::PageWidget</name>
    <message>
        <source>Записать</source>
        <translation>Write</translation>
    </message>
</context>
<context>
    <name>kv6::pages::PartitionListWidget</name>
    <message>
        <source>Раздел %1</source>
        <translation>Partition %1</translation>
    </message>
</context>
<context>
    <name>kv6::pages::SettingsPage</name>
    <message>
        <source>Адреса внешних устройств</source>
        <translation>External device addresses</translation>
    </message>
    <message>
        <source>№</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>Адрес</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Устройство</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>На шине</source>
        <translation>On bus</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Добавить </source>
        <translation>Add </translation>
    </message>
    <message>
        <source> Дата / Время     </source>
        <translation> Date / Time     </translation>
    </message>
    <message>
        <source>Использовать NTP</source>
        <translation>Use NTP</translation>
    </message>
    <message>
        <source>Записать</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Время компьютера</source>
        <translation>Computer time</translation>
    </message>
    <message>
        <source>Установить текущие дату и время компьютера</source>
        <translation>Set the computer&apos;s current date and time</translation>
    </message>
    <message>
        <source>Часовой пояс (для журнала):</source>
        <translation>Time zone (for the log):</translation>
    </message>
    <message>
        <source>NTP сервер</source>
        <translation>NTP server</translation>
    </message>
    <message>
        <source>Интервал синхронизации, часы</source>
        <translation>Sync interval, hours</translation>
    </message>
    <message>
        <source>Сервер программирования</source>
        <translation>Programming server</translation>
    </message>
    <message>
        <source> Не выбран тип устройства</source>
        <translation> No device type chosen</translation>
    </message>
    <message>
        <source> Адрес устройства должен быть числом от 0 до 254</source>
        <translation> The device address must be a number from 0 to 254</translation>
    </message>
    <message>
        <source>%1: адрес введён не полностью или неверно. Введите четыре числа от 0 до 255 или оставьте поле пустым.</source>
        <translation>%1: the address is incomplete or wrong. Enter four numbers from 0 to 255 or leave the field empty.</translation>
    </message>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
</context>
<context>
    <name>kv6::pages::SmsPage</name>
    <message>
        <source>Сообщения</source>
        <translation>Messages</translation>
    </message>
    <message>
        <source>№</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>Текст</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Передача системных событий через SMS</source>
        <translation>System events by SMS</translation>
    </message>
    <message>
        <source>Снятие</source>
        <translation>Disarm</translation>
    </message>
    <message>
        <source>Взятие</source>
        <translation>Arm</translation>
    </message>
    <message>
        <source>Откл. 220В</source>
        <translation>Mains off</translation>
    </message>
    <message>
        <source>Вкл. 220В</source>
        <translation>Mains on</translation>
    </message>
    <message>
        <source>Неиспр. АКБ</source>
        <translation>Battery fault</translation>
    </message>
    <message>
        <source>Восст. АКБ</source>
        <translation>Battery restore</translation>
    </message>
    <message>
        <source>Прибор Откр.</source>
        <translation>Case open</translation>
    </message>
    <message>
        <source>Прибор Закр.</source>
        <translation>Case closed</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>None</translation>
    </message>
    <message>
        <source>GSM Номер </source>
        <translation>GSM number </translation>
    </message>
    <message>
        <source>Резерв</source>
        <translation>Backup</translation>
    </message>
    <message>
        <source>Выкл.</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>GSM номер </source>
        <translation>GSM number </translation>
    </message>
    <message>
        <source>SMS резервирование  </source>
        <translation>SMS backup  </translation>
    </message>
</context>
<context>
    <name>kv6::pages::TForm2</name>
    <message>
        <source>Номер</source>
        <translation>Number</translation>
    </message>
    <message>
        <source>Функция</source>
        <translation>Function</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>None</translation>
    </message>
    <message>
        <source>Контроль</source>
        <translation>Control</translation>
    </message>
    <message>
        <source>Перепостановка</source>
        <translation>Re-arm</translation>
    </message>
    <message>
        <source>Постановка/Снятие</source>
        <translation>Arm/Disarm</translation>
    </message>
    <message>
        <source>Сервис</source>
        <translation>Service</translation>
    </message>
    <message>
        <source>Разделы</source>
        <translation>Partitions</translation>
    </message>
    <message>
        <source>Код:    99</source>
        <translation>Code:    99</translation>
    </message>
    <message>
        <source>Код:    </source>
        <translation>Code:    </translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отменить</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>GSM номер </source>
        <translation>GSM number </translation>
    </message>
</context>
<context>
    <name>kv6::pages::TForm3</name>
    <message>
        <source>Код Пользователя</source>
        <translation>User code</translation>
    </message>
    <message>
        <source>Перепостановка</source>
        <translation>Re-arm</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Код </source>
        <translation>Code </translation>
    </message>
    <message>
        <source>Введите код из %1 цифр или оставьте поле пустым</source>
        <translation>Enter a code of %1 digits or leave the field empty</translation>
    </message>
</context>
<context>
    <name>kv6::pages::TForm5</name>
    <message>
        <source>Выкл.</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>GSM номер %1</source>
        <translation>GSM number %1</translation>
    </message>
    <message>
        <source>Ключ 1</source>
        <translation>Key 1</translation>
    </message>
    <message>
        <source>Ключ 2</source>
        <translation>Key 2</translation>
    </message>
    <message>
        <source>Сообщение №%1</source>
        <translation>Message %1</translation>
    </message>
    <message>
        <source>Код Contact ID</source>
        <translation>Contact ID code</translation>
    </message>
    <message>
        <source>Тип информации</source>
        <translation>Information type</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>None</translation>
    </message>
    <message>
        <source>Код</source>
        <translation>Code</translation>
    </message>
    <message>
        <source>Зона</source>
        <translation>Zone</translation>
    </message>
    <message>
        <source>Устройство</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Тип Зоны</source>
        <translation>Zone type</translation>
    </message>
    <message>
        <source>Код CID: </source>
        <translation>CID code: </translation>
    </message>
    <message>
        <source>Сирена</source>
        <translation>Siren</translation>
    </message>
    <message>
        <source>Передавать Восстановление</source>
        <translation>Report restore</translation>
    </message>
    <message>
        <source>Зона внешнего расширителя</source>
        <translation>External expander zone</translation>
    </message>
    <message>
        <source>Раздел</source>
        <translation>Partition</translation>
    </message>
    <message>
        <source>Тип События </source>
        <translation>Event type </translation>
    </message>
    <message>
        <source>TCLIP</source>
        <translation>TCLIP</translation>
    </message>
    <message>
        <source>SMS</source>
        <translation>SMS</translation>
    </message>
    <message>
        <source>Передавать Восст.</source>
        <translation>Report restore</translation>
    </message>
    <message>
        <source>Вкл. Резервный SMS канал</source>
        <translation>Backup SMS channel on</translation>
    </message>
    <message>
        <source>Тип События - R (Восстановление)</source>
        <translation>Event type - R (Restore)</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Код Contact ID </source>
        <translation>Contact ID code </translation>
    </message>
    <message>
        <source>Зона № </source>
        <translation>Zone </translation>
    </message>
    <message>
        <source>Код Contact ID должен состоять из трёх цифр</source>
        <translation>The Contact ID code must have three digits</translation>
    </message>
</context>
<context>
    <name>kv6::pages::TForm7</name>
    <message>
        <source>Код Пользователя</source>
        <translation>User code</translation>
    </message>
    <message>
        <source>Обход зон</source>
        <translation>Zone bypass</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Введите код из %1 цифр или оставьте поле пустым</source>
        <translation>Enter a code of %1 digits or leave the field empty</translation>
    </message>
</context>
<context>
    <name>kv6::pages::ZonesPage</name>
    <message>
        <source>Характеристики зон </source>
        <translation>Zone settings </translation>
    </message>
    <message>
        <source>Зона</source>
        <translation>Zone</translation>
    </message>
    <message>
        <source>Характеристика</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>№ %1</source>
        <translation>No. %1</translation>
    </message>
    <message>
        <source>индикация по таймеру сирены</source>
        <translation>indication by siren timer</translation>
    </message>
    <message>
        <source>индикация по снятию объекта</source>
        <translation>indication until disarmed</translation>
    </message>
    <message>
        <source>индикация по пожарной тревоге</source>
        <translation>indication on fire alarm</translation>
    </message>
    <message>
        <source>сирена по таймеру</source>
        <translation>siren by timer</translation>
    </message>
    <message>
        <source>сирена по снятию объекта</source>
        <translation>siren until disarmed</translation>
    </message>
    <message>
        <source>по таймеру сирены</source>
        <translation>by siren timer</translation>
    </message>
    <message>
        <source>Режим выход 1</source>
        <translation>Output 1 mode</translation>
    </message>
    <message>
        <source>Режим выход 2</source>
        <translation>Output 2 mode</translation>
    </message>
    <message>
        <source>Таймера, сек</source>
        <translation>Timers, s</translation>
    </message>
    <message>
        <source>Вход</source>
        <translation>Entry</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Сирена</source>
        <translation>Siren</translation>
    </message>
    <message>
        <source>Зуммер прибора</source>
        <translation>Module buzzer</translation>
    </message>
    <message>
        <source>Отключить зуммер</source>
        <translation>Buzzer off</translation>
    </message>
    <message>
        <source>Количество сработок по зоне (антидребезг)</source>
        <translation>Triggers per zone (debounce)</translation>
    </message>
    <message>
        <source>Отслеживать тампер</source>
        <translation>Monitor tamper</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Начальный № зоны</source>
        <translation>First zone number</translation>
    </message>
    <message>
        <source>Зона 5</source>
        <translation>Zone 5</translation>
    </message>
    <message>
        <source>Зона 9</source>
        <translation>Zone 9</translation>
    </message>
    <message>
        <source>Зона 17</source>
        <translation>Zone 17</translation>
    </message>
    <message>
        <source>Игнорировать неисправность зон</source>
        <translation>Ignore zone faults</translation>
    </message>
    <message>
        <source>Зона расширителя %1</source>
        <translation>Expander zone %1</translation>
    </message>
</context>
</TS>
