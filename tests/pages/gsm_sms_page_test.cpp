#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "pages/configuration.h"
#include "pages/gsm/gsm_number_dialog.h"
#include "pages/gsm/gsm_page.h"
#include "pages/sms/sms_page.h"
#include "support/scripted_prompts.h"
#include "widgets/spin_edit.h"
#include "widgets/value_list_editor.h"

namespace kv6::pages {
namespace {

using test::ScriptedPrompts;
using widgets::SpinEdit;
using widgets::ValueListEditor;

struct ReadyLink : WriteLink {
    int started = 0;
    bool ensureLink() override { return true; }
    void startWrite() override { ++started; }
};

class GsmSmsPageTest : public ::testing::Test {
protected:
    Configuration config;
    ScriptedPrompts prompts{false};  // Cancel unless a test scripts OK
    ReadyLink link;
    GsmPage gsm{config.gsm, config.workspace, prompts, link};
    SmsPage sms{config.sms, config.workspace, prompts, link};

    template <typename T>
    static T* find(QWidget& parent, const char* name) {
        T* w = parent.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static QStringList texts(QWidget& parent) {
        QStringList all;
        for (auto* label : parent.findChildren<QLabel*>()) all << label->text();
        for (auto* box : parent.findChildren<QGroupBox*>()) all << box->title();
        for (auto* check : parent.findChildren<QCheckBox*>()) all << check->text();
        for (auto* button : parent.findChildren<QPushButton*>()) all << button->text();
        return all;
    }
    static QStringList items(QComboBox* list) {
        QStringList all;
        for (int i = 0; i < list->count(); ++i) all << list->itemText(i);
        return all;
    }
    void press(QToolButton* button) {
        button->setEnabled(true);
        QTest::mouseClick(button, Qt::LeftButton);
    }
};

TEST_F(GsmSmsPageTest, CaptionsLabelsAndItemsAreTheSystemTexts) {
    auto* grid3 = find<ValueListEditor>(gsm, "ValueListEditor3");
    ASSERT_EQ(grid3->rowCount(), 11);
    EXPECT_EQ(grid3->horizontalHeaderItem(0)->text(), "GSM номер");
    EXPECT_EQ(grid3->horizontalHeaderItem(1)->text(), "Значение");
    EXPECT_EQ(grid3->key(4), "GSM номер 5");
    EXPECT_EQ(grid3->key(10), "Код Страны");
    EXPECT_EQ(grid3->rowSpec(10).editMask, "0");
    EXPECT_TRUE(grid3->rowSpec(0).readOnly && grid3->rowSpec(9).ellipsis);
    const QStringList numbers = {"Нет",         "GSM номер 1", "GSM номер 2", "GSM номер 3",
                                 "GSM номер 4", "GSM номер 5", "GSM номер 6", "GSM номер 7",
                                 "GSM номер 8", "GSM номер 9", "GSM номер 10"};
    EXPECT_EQ(items(find<QComboBox>(gsm, "ComboBox1")), numbers);
    EXPECT_EQ(items(find<QComboBox>(gsm, "ComboBox2")), numbers);
    EXPECT_EQ(find<SpinEdit>(gsm, "UpDown1")->maximum(), 2);
    EXPECT_EQ(find<QLineEdit>(gsm, "Edit2")->text(), "1");
    for (const char* text : {"Вход 1, параметры тревоги", "Вход 2, параметры тревоги", "GSM номер тревоги",
                             "Ключ тревоги"})
        EXPECT_TRUE(texts(gsm).contains(text)) << text;

    TForm2& dialog = gsm.numberDialog();
    EXPECT_EQ(items(dialog.ComboBox1),
              QStringList({"Нет", "Контроль", "Перепостановка", "Постановка/Снятие", "Сервис"}));
    EXPECT_EQ(dialog.Edit1->maxLength(), 10);
    for (const char* text : {"Номер", "Функция", "Разделы", "Код:    99", "OK", "Отменить"})
        EXPECT_TRUE(texts(dialog).contains(text)) << text;

    auto* grid5 = find<ValueListEditor>(sms, "ValueListEditor5");
    ASSERT_EQ(grid5->rowCount(), 20);
    EXPECT_EQ(grid5->horizontalHeaderItem(0)->text(), "№");
    EXPECT_EQ(grid5->horizontalHeaderItem(1)->text(), "Текст");
    EXPECT_EQ(grid5->key(19), "20");
    const QStringList smsTexts = texts(sms);
    for (const char* text : {"Сообщения", "Передача системных событий через SMS", "Снятие", "Взятие", "Откл. 220В",
                             "Вкл. 220В", "Неиспр. АКБ", "Восст. АКБ", "Прибор Откр.", "Прибор Закр.",
                             "SMS резервирование  "})
        EXPECT_TRUE(smsTexts.contains(text)) << text;
    EXPECT_EQ(smsTexts.count("Резерв"), 8);
    const QStringList targets = {"Нет",         "GSM Номер 1", "GSM Номер 2", "GSM Номер 3",
                                 "GSM Номер 4", "GSM Номер 5", "GSM Номер 6", "GSM Номер 7",
                                 "GSM Номер 8", "GSM Номер 9", "GSM Номер 10"};
    EXPECT_EQ(items(find<QComboBox>(sms, "ComboBox17")), targets);
    EXPECT_EQ(find<QCheckBox>(sms, "CheckBox13")->text(), "Резерв");
    QStringList backup = numbers;
    backup[0] = "Выкл.";
    EXPECT_EQ(items(find<QComboBox>(sms, "ComboBox19")), backup);
    EXPECT_EQ(find<QComboBox>(sms, "ComboBox19")->currentIndex(), -1);

    for (QToolButton* button : {find<QToolButton>(gsm, "SpeedButton12"), find<QToolButton>(sms, "SpeedButton11")}) {
        EXPECT_EQ(button->toolTip(), "Записать");
        EXPECT_FALSE(button->isEnabled());
    }
}

TEST_F(GsmSmsPageTest, NumberDialogOkAppliesAndCancelChangesNothing) {
    auto* grid = find<ValueListEditor>(gsm, "ValueListEditor3");
    grid->setValue(9, " 555,1 ");
    config.gsm.values().numbers[9] = " 555,1 ";
    int shown = 0;
    gsm.setDialogRunner([&](TForm2& d) {
        ++shown;
        EXPECT_EQ(d.windowTitle(), "GSM номер 10");
        EXPECT_EQ(d.Edit1->text(), "555");
        EXPECT_EQ(d.ComboBox1->currentIndex(), 0);
        EXPECT_TRUE(d.Label4->isHidden());
        d.ComboBox1->setCurrentIndex(2);  // "Перепостановка": the fixed code 99 alone
        EXPECT_FALSE(d.Label4->isHidden());
        EXPECT_TRUE(d.UpDown2->isHidden());
        d.ComboBox1->setCurrentIndex(3);  // "Постановка/Снятие"
        EXPECT_FALSE(d.UpDown2->isHidden());
        EXPECT_TRUE(d.UpDown1->isHidden());  // the partition spinner stays hidden
        d.Edit1->insert(QStringLiteral("Й"));
        QTest::keyClicks(d.Edit1, "12345678901");
        d.UpDown2->setValue(12);
        return true;
    });
    gsm.ValueListEditor3EditButtonClick(9);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(grid->value(9), "5551234567");  // ten characters, no Cyrillic
    EXPECT_EQ(grid->key(9), "GSM номер 10(Постановка/Снятие)");
    EXPECT_EQ(grid->item(9, 0)->foreground().color(), QColor(0, 0, 255));
    EXPECT_EQ(config.gsm.function(10), 7);
    EXPECT_EQ(config.gsm.code(10), 12);
    EXPECT_TRUE(config.workspace.flags.isSet(8));

    gsm.setDialogRunner([](TForm2& d) {
        EXPECT_EQ(d.ComboBox1->currentIndex(), 3);
        EXPECT_EQ(d.UpDown2->value(), 12);
        d.Edit1->clear();
        d.ComboBox1->setCurrentIndex(1);
        return false;
    });
    config.workspace.flags.ClearSectionFlags();
    gsm.ValueListEditor3EditButtonClick(9);
    EXPECT_EQ(grid->value(9), "5551234567");
    EXPECT_EQ(config.gsm.function(10), 7);
    EXPECT_FALSE(config.workspace.flags.isSet(8));

    gsm.setDialogRunner([](TForm2& d) {
        d.ComboBox1->setCurrentIndex(1);
        return true;
    });
    gsm.ValueListEditor3EditButtonClick(2);
    EXPECT_EQ(grid->key(2), "GSM номер 3(Контроль)");
    EXPECT_EQ(grid->item(2, 0)->foreground().color(), QColor(255, 0, 0));
    EXPECT_TRUE(config.workspace.flags.isSet(5));
}

TEST_F(GsmSmsPageTest, GsmButtonQueuesItsNineJobsAfterOk) {
    config.workspace.ReceivedImage[753] = 3;  // a byte with no label
    config.document.DecodeImage(image::DecodeSource::SerialRead);
    gsm.refreshFromModel();
    EXPECT_EQ(find<ValueListEditor>(gsm, "ValueListEditor3")->key(3), "GSM номер 4");
    EXPECT_TRUE(find<ValueListEditor>(gsm, "ValueListEditor3")->commitUserValue(10, "7"));
    EXPECT_TRUE(config.workspace.flags.isSet(8));
    find<QComboBox>(gsm, "ComboBox2")->setCurrentIndex(4);
    EXPECT_TRUE(config.workspace.flags.isSet(10));

    press(gsm.SpeedButton12);  // cancelled: nothing queued, entries stay
    EXPECT_TRUE(config.workspace.queue.empty());
    EXPECT_TRUE(config.workspace.flags.isSet(4));
    prompts.answers = {true};
    press(gsm.SpeedButton12);
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].text, "Сохранить изменения ?");
    EXPECT_EQ(prompts.shown[1].caption, " Запись");
    const std::vector<image::WriteJob> expected = {{14, 20},  {34, 20},   {54, 20}, {74, 20}, {94, 21},
                                                   {750, 10}, {1028, 20}, {733, 2}, {745, 2}};
    EXPECT_EQ(config.workspace.queue.jobs(), expected);
    EXPECT_EQ(config.workspace.ConfigImage[114], '7');
    EXPECT_EQ(config.workspace.ConfigImage[745], 4);
    EXPECT_EQ(config.workspace.ConfigImage[753], 3);
    EXPECT_EQ(link.started, 1);
}

TEST_F(GsmSmsPageTest, SmsEditsAndButtonQueueItsTwelveJobs) {
    auto* grid = find<ValueListEditor>(sms, "ValueListEditor5");
    EXPECT_FALSE(grid->commitUserValue(0, "ĀĀ"));  // no Windows-1251 form
    EXPECT_FALSE(grid->commitUserValue(0, "01234567890"));
    EXPECT_TRUE(grid->commitUserValue(2, "Тревога 1"));
    EXPECT_EQ(config.sms.values().messages[2], "Тревога 1");
    EXPECT_TRUE(config.workspace.flags.isSet(20));
    EXPECT_TRUE(grid->commitUserValue(14, "x"));
    EXPECT_FALSE(config.workspace.flags.isSet(32));  // rows 11..20 raise nothing
    find<QComboBox>(sms, "ComboBox11")->setCurrentIndex(3);
    EXPECT_TRUE(config.workspace.flags.isSet(28));
    find<QCheckBox>(sms, "CheckBox7")->setChecked(true);
    find<QComboBox>(sms, "ComboBox19")->setCurrentIndex(2);

    prompts.answers = {true};
    press(sms.SpeedButton11);
    ASSERT_EQ(config.workspace.queue.size(), 12u);
    EXPECT_EQ(config.workspace.queue.jobs().front(), (image::WriteJob{1583, 4}));
    EXPECT_EQ(config.workspace.queue.jobs()[2], (image::WriteJob{828, 40}));
    EXPECT_EQ(config.workspace.queue.jobs().back(), (image::WriteJob{1603, 2}));
    const auto& image = config.workspace.ConfigImage;
    EXPECT_EQ(image[1583], 0x30);
    EXPECT_EQ(image[1603], 2);
    EXPECT_EQ(image[1604], 0x02);
    EXPECT_EQ(image[828], 0x22);
    for (int entry = 18; entry <= 28; ++entry) EXPECT_FALSE(config.workspace.flags.isSet(entry)) << entry;
}

}  // namespace
}  // namespace kv6::pages
