#pragma once

#include <string>

// What the routing dialog (TForm5) exchanges with the events and zones
// models, and the list sizes it is built with.
namespace kv6::pages {

namespace routing {

constexpr int kMessageCount = 20;        // SMS messages "Сообщение №1" .. "№20"
constexpr int kRestoreMessageCount = 5;  // an event's restore SMS: messages 1..5
constexpr int kCodeLength = 3;           // an event's Contact ID code
constexpr int kPartitionCount = 8;       // a zone's partition 1..8

}  // namespace routing

// What the routing dialog shows of one event entry: list indexes as the
// combo boxes hold them (-1 = no selection) and the Contact ID code text.
struct EventRouting {
    std::string code;            // Edit1
    int tclipTarget = 0;         // ComboBox1: 0 "Выкл.", 1..10 "GSM номер N"
    int tclipKey = 0;            // ComboBox2: 0 "Ключ 1", 1 "Ключ 2"
    int tclipRestoreTarget = 0;  // ComboBox4
    int tclipRestoreKey = 0;     // ComboBox5
    int smsTarget = 0;           // ComboBox3
    int smsMessage = 0;          // ComboBox7: 0..19 "Сообщение №1".."№20"
    int smsRestoreTarget = 0;    // ComboBox6
    int smsRestoreMessage = 0;   // ComboBox8: 0..4
    int infoType = 0;            // ComboBox9: "Нет", "Код", "Зона", "Устройство"
};

// What the zone dialog shows of one zone (list indexes as the controls hold
// them, -1 = no selection), and what its OK stores.
struct ZoneRouting {
    int typeIndex = -1;          // ComboBox10: the entry whose name the grid row shows
    bool siren = false;          // CheckBox1 "Сирена": bit 3 of the type byte
    bool restore = false;        // CheckBox3 "Передавать Восстановление": bit 2
    std::string code;            // Edit3: the zone's Contact ID code
    int partition = 1;           // Edit2/UpDown1, 1..8
    int tclipTarget = 0;         // ComboBox1
    int tclipKey = 0;            // ComboBox2
    int smsTarget = 0;           // ComboBox3
    int smsMessage = 0;          // ComboBox7, 0..19
    bool expanderShown = false;  // CheckBox2 "Зона внешнего расширителя": zones 1..6 only
    bool expander = false;
    bool smsReserve = false;     // CheckBox4 "Вкл. Резервный SMS канал"
    bool smsRestore = false;     // CheckBox5 "Передавать Восст."
};

}  // namespace kv6::pages
