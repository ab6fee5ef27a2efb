#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "pages/configuration.h"
#include "pages/events/events_page.h"
#include "pages/routing/tform5_dialog.h"
#include "pages/zones/zones_page.h"
#include "support/scripted_prompts.h"
#include "widgets/spin_edit.h"
#include "widgets/value_list_editor.h"

namespace kv6::pages {
namespace {

using image::DecodeSource;
using image::WriteJob;
using kv6::test::ScriptedPrompts;

struct FakeLink : WriteLink {
    int started = 0;
    bool ensureLink() override { return true; }
    void startWrite() override { ++started; }
};

class RoutingPagesTest : public ::testing::Test {
protected:
    Configuration config;
    ScriptedPrompts prompts;  // OK unless scripted
    FakeLink link;
    TForm5 dialog;
    EventsPage events{config.events, config.workspace, prompts, link, dialog};
    ZonesPage zones{config.zones, config.workspace, prompts, link, dialog};
    image::Image& rx = config.workspace.ReceivedImage;
    std::vector<WriteJob> jobs() const { return config.workspace.queue.jobs(); }

    template <typename T>
    T* in(QWidget& parent, const char* name) {
        T* w = parent.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void decode(DecodeSource source) {
        config.document.DecodeImage(source);
        events.refreshFromModel();
        zones.refreshFromModel();
    }
    void useParamp() {
        config.zones.setZoneTypes(ZoneTypeList::fromFileLines({"Вход/Выход\t130\t1", "Периметр\t132\t16"}));
        dialog.setZoneTypes(config.zones.zoneTypes());
    }
    void doubleClickRow(int row) {
        events.ListView1->setCurrentItem(events.ListView1->topLevelItem(row));
        events.ListView1DblClick();
    }
};

TEST_F(RoutingPagesTest, CaptionsAndLabels) {
    const std::vector<std::pair<QString, QString>> titles = {
        {"GroupBox1", "Код Contact ID"}, {"GroupBox2", "Тип информации"}, {"GroupBox3", "Тип События "},
        {"GroupBox4", "TCLIP"}, {"GroupBox5", "SMS"}, {"GroupBox6", "Тип События - R (Восстановление)"},
        {"GroupBox7", "Тип Зоны"}};
    for (const auto& [name, title] : titles) EXPECT_EQ(in<QGroupBox>(dialog, qPrintable(name))->title(), title);
    const std::vector<std::pair<QString, QString>> checks = {
        {"CheckBox1", "Сирена"}, {"CheckBox2", "Зона внешнего расширителя"}, {"CheckBox3", "Передавать Восстановление"},
        {"CheckBox4", "Вкл. Резервный SMS канал"}, {"CheckBox5", "Передавать Восст."}};
    for (const auto& [name, text] : checks) EXPECT_EQ(in<QCheckBox>(dialog, qPrintable(name))->text(), text);
    EXPECT_EQ(dialog.Edit1->text(), "111");
    EXPECT_EQ(dialog.ComboBox1->itemText(0), "Выкл.");
    EXPECT_EQ(dialog.ComboBox1->itemText(10), "GSM номер 10");
    EXPECT_EQ(dialog.ComboBox2->itemText(1), "Ключ 2");
    EXPECT_EQ(dialog.ComboBox7->itemText(19), "Сообщение №20");
    EXPECT_EQ(dialog.ComboBox8->count(), 5);
    EXPECT_EQ(dialog.ComboBox9->itemText(3), "Устройство");
    EXPECT_EQ(dialog.StaticText1->text(), "Код CID: ");

    const QTreeWidgetItem* header = events.ListView1->headerItem();
    EXPECT_EQ(header->text(0), "Код Contact ID");
    EXPECT_EQ(header->text(1), "TCLIP");
    EXPECT_EQ(header->text(2), "SMS");
    EXPECT_EQ(header->text(3), "");
    EXPECT_EQ(events.ListView1->topLevelItemCount(), 30);
    EXPECT_EQ(events.GroupBox10->title(), "Индикация ");
    EXPECT_EQ(events.ComboBox3->itemText(1), "по снятию объекта");
    EXPECT_EQ(events.ComboBox4->itemText(0), "по пожарной тревоге");
    EXPECT_EQ(events.CheckListBox2->item(7)->text(), "Раздел 8");

    const std::vector<std::pair<QString, QString>> groups = {
        {"GroupBox16", "Характеристики зон "}, {"GroupBox18", "Режим выход 1"}, {"GroupBox15", "Режим выход 2"},
        {"GroupBox17", "Таймера, сек"}, {"GroupBox23", "Зуммер прибора"}, {"RadioGroup1", "Отслеживать тампер"},
        {"GroupBox13", "Начальный № зоны"}, {"GroupBox14", "Игнорировать неисправность зон"}};
    for (const auto& [name, title] : groups) EXPECT_EQ(in<QGroupBox>(zones, qPrintable(name))->title(), title);
    EXPECT_EQ(zones.ValueListEditor8->horizontalHeaderItem(0)->text(), "Зона");
    EXPECT_EQ(zones.ValueListEditor8->horizontalHeaderItem(1)->text(), "Характеристика");
    EXPECT_EQ(zones.ValueListEditor8->key(31), "№ 32");
    EXPECT_EQ(zones.ValueListEditor8->value(0), "Периметр");
    EXPECT_EQ(zones.ComboBox6->itemText(4), "сирена по снятию объекта");
    EXPECT_EQ(zones.ComboBox6->currentIndex(), -1);
    EXPECT_EQ(zones.ComboBox6->placeholderText(), "по таймеру сирены");
    EXPECT_EQ(zones.ComboBox5->itemText(2), "Зона 17");
    EXPECT_EQ(zones.CheckListBox3->item(5)->text(), "Зона расширителя 6");
    EXPECT_EQ(zones.CheckBox5->text(), "Отключить зуммер");
    QStringList labels;
    for (const QLabel* label : zones.findChildren<QLabel*>()) labels << label->text();
    for (const char* text : {"Вход", "Выход", "Сирена", "Количество сработок по зоне (антидребезг)"})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;
    EXPECT_EQ(zones.UpDown5->value(), 10);
    EXPECT_EQ(zones.UpDown5->singleStep(), 5);
    EXPECT_EQ(zones.UpDown12->minimum(), 1);
    EXPECT_EQ(zones.UpDown12->maximum(), 100);
    EXPECT_EQ(zones.SpeedButton13->toolTip(), "Записать");
    EXPECT_FALSE(zones.SpeedButton13->isEnabled());
    EXPECT_TRUE(events.SpeedButton10->isEnabled());
}

TEST_F(RoutingPagesTest, EventRowThroughTheDialogAndTheWriteButton) {
    rx[402] = '1';
    decode(DecodeSource::SerialRead);
    QString title;
    bool zoneGroupShown = true;
    dialog.setRunner([&](TForm5& d) {
        title = d.windowTitle();
        zoneGroupShown = d.GroupBox7->isVisibleTo(&d);
        d.Edit1->setText("130");
        d.ComboBox1->setCurrentIndex(2);
        d.ComboBox2->setCurrentIndex(1);
        d.ComboBox3->setCurrentIndex(5);
        d.ComboBox7->setCurrentIndex(2);
        d.ComboBox9->setCurrentIndex(2);
        return true;
    });
    doubleClickRow(13);
    EXPECT_EQ(title, "Код Contact ID 1");
    EXPECT_FALSE(zoneGroupShown);
    const QTreeWidgetItem* row = events.ListView1->topLevelItem(13);
    EXPECT_EQ(row->text(0), "130");
    EXPECT_EQ(row->text(1), "Да");
    EXPECT_EQ(row->text(2), "Да");
    EXPECT_EQ(events.ListView1->topLevelItem(0)->text(1), "Нет");

    QTest::mouseClick(events.SpeedButton10, Qt::LeftButton);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Сохранить изменения ?");
    EXPECT_EQ(prompts.shown[0].caption, " Запись");
    EXPECT_EQ(jobs(), (std::vector<WriteJob>{{390, 48}, {438, 48}, {486, 48}}));
    EXPECT_EQ(config.workspace.ConfigImage[413], 2);
    config.workspace.queue.clear();
    QTest::mouseClick(events.SpeedButton10, Qt::LeftButton);
    EXPECT_TRUE(jobs().empty());

    // Cancel in the dialog changes nothing.
    dialog.setRunner([](TForm5& d) {
        d.Edit1->setText("999");
        return false;
    });
    doubleClickRow(13);
    EXPECT_EQ(events.ListView1->topLevelItem(13)->text(0), "130");
    EXPECT_FALSE(config.workspace.flags.isSet(EventsModel::kEntryTable));
}

TEST_F(RoutingPagesTest, ZoneDialogShowsAndStoresTheZone) {
    useParamp();
    rx[1051] = 47;          // "24х часовая" with siren and restore
    rx[1578] = 0x01;
    rx[1089] = 0x07;
    rx[1090] = 0x89;
    decode(DecodeSource::FileLoad);
    EXPECT_EQ(zones.ValueListEditor8->value(0), "24х часовая");
    struct Seen {
        QString title;
        bool codeShown, expanderShown, expander, siren, restoreSmsEnabled;
        QString code;
    } seen{};
    dialog.setRunner([&](TForm5& d) {
        d.show();
        seen = {d.windowTitle(), d.Edit3->isVisible(), d.CheckBox2->isVisible(), d.CheckBox2->isChecked(),
                d.CheckBox1->isChecked(), d.CheckBox5->isEnabled(), d.Edit3->text()};
        d.ComboBox3->setCurrentIndex(1);
        d.ComboBox7->setCurrentIndex(19);
        d.hide();
        return true;
    });
    zones.ValueListEditor8EditButtonClick(0);
    EXPECT_EQ(seen.title, "Зона № 1");
    EXPECT_TRUE(seen.codeShown);
    EXPECT_TRUE(seen.expanderShown);
    EXPECT_TRUE(seen.expander);
    EXPECT_TRUE(seen.siren);
    EXPECT_TRUE(seen.restoreSmsEnabled);
    EXPECT_EQ(seen.code, "789");
    EXPECT_EQ(rx[1545], 0x31);
    EXPECT_EQ(rx[1275] & 0xC0, 0x40);
    EXPECT_EQ(rx[1609] & 0x02, 0x02);  // follows "Передавать Восстановление"
    EXPECT_TRUE(config.workspace.flags.isSet(ZonesModel::kEntryZones));

    // A code typed short keeps OK disabled, with the reason in the dialog.
    struct { bool shortOk, fullOk; QString reason; } typed{};
    dialog.setRunner([&](TForm5& d) {
        d.Edit3->clear();
        QTest::keyClicks(d.Edit3, "12");
        typed = {d.BitBtn1->isEnabled(), false, d.StaticText2->text()};
        QTest::keyClicks(d.Edit3, "3");
        typed.fullOk = d.BitBtn1->isEnabled();
        return true;
    });
    zones.ValueListEditor8EditButtonClick(0);
    EXPECT_FALSE(typed.shortOk);
    EXPECT_EQ(typed.reason, "Код Contact ID должен состоять из трёх цифр");
    EXPECT_TRUE(typed.fullOk);
    EXPECT_EQ(rx[1090], 0x23);

    // Zone 7 (type 0, not in paramp) has no expander box; choosing "Вход/Выход" copies its code and stores type 1.
    dialog.setRunner([&](TForm5& d) {
        d.show();
        seen.expanderShown = d.CheckBox2->isVisible();
        d.ComboBox10->setCurrentIndex(0);
        seen.code = d.Edit3->text();
        seen.codeShown = d.Edit3->isVisible();
        seen.title = d.StaticText1->text();
        d.hide();
        return true;
    });
    zones.ValueListEditor8EditButtonClick(6);
    EXPECT_FALSE(seen.expanderShown);
    EXPECT_EQ(seen.code, "130");
    EXPECT_FALSE(seen.codeShown);
    EXPECT_EQ(seen.title, "Код CID: 130");
    EXPECT_EQ(rx[1057], 1);
    EXPECT_EQ(rx[1101], 1);
    EXPECT_EQ(rx[1102], 0x30);
    EXPECT_EQ(zones.ValueListEditor8->value(6), "Вход/Выход");
}

TEST_F(RoutingPagesTest, OutputsTimersAndTheWriteButton) {
    rx[1083] = 3;
    rx[1085] = 5;
    decode(DecodeSource::FileLoad);
    EXPECT_FALSE(zones.CheckListBox5->isEnabled());
    EXPECT_EQ(zones.CheckListBox5->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(zones.CheckListBox5->item(2)->checkState(), Qt::Checked);
    decode(DecodeSource::SerialRead);
    EXPECT_FALSE(zones.CheckListBox5->isEnabled());
    EXPECT_EQ(zones.CheckListBox5->item(0)->checkState(), Qt::Unchecked);

    zones.UpDown12->edit()->setText("9");  // anti-bounce alone: no entry
    EXPECT_EQ(config.zones.values().antiBounce, 9);
    EXPECT_FALSE(config.workspace.flags.isSet(ZonesModel::kEntryZones));
    QTest::keyClicks(zones.UpDown5->edit(), "");
    zones.UpDown5->edit()->selectAll();
    QTest::keyClicks(zones.UpDown5->edit(), "7");
    EXPECT_EQ(config.zones.values().entryTime, 7);
    EXPECT_TRUE(config.workspace.flags.isSet(ZonesModel::kEntryZones));

    zones.SpeedButton13->setEnabled(true);
    prompts.answers = {false};
    QTest::mouseClick(zones.SpeedButton13, Qt::LeftButton);
    EXPECT_TRUE(jobs().empty());
    EXPECT_TRUE(config.workspace.flags.isSet(ZonesModel::kEntryButton));  // left set by Cancel
    QTest::mouseClick(zones.SpeedButton13, Qt::LeftButton);
    EXPECT_EQ(jobs().size(), 9u);
    EXPECT_EQ(config.workspace.ConfigImage[1087], 7);
    EXPECT_EQ(config.workspace.ConfigImage[1641], 9);
    EXPECT_EQ(config.workspace.ConfigImage[1085], 0);
    EXPECT_EQ(link.started, 1);

    config.workspace.queue.clear();
    zones.Timer3Timer(" Запись данных завершена");
    zones.Timer3Timer("x");
    EXPECT_EQ(zones.Memo5->toPlainText(), "0.  Запись данных завершена\n1. x");
    EXPECT_EQ(jobs().size(), 14u);
    EXPECT_EQ(jobs()[6], (WriteJob{1545, 32}));
}

TEST_F(RoutingPagesTest, TamperChangesEnableTheZoneGroup) {
    EXPECT_TRUE(zones.GroupBox16->isEnabled());  // "Нет" at start, yet enabled
    decode(DecodeSource::FileLoad);
    EXPECT_TRUE(zones.GroupBox16->isEnabled());
    rx[1049] = 1;
    decode(DecodeSource::FileLoad);
    EXPECT_TRUE(zones.GroupBox16->isEnabled());
    rx[1049] = 0;
    decode(DecodeSource::SerialRead);
    EXPECT_FALSE(zones.GroupBox16->isEnabled());
}

}  // namespace
}  // namespace kv6::pages
