#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <functional>

#include "image/write_queue.h"
#include "pages/codes/code_dialog.h"
#include "pages/codes/codes_page.h"
#include "pages/configuration.h"
#include "pages/common/partition_list_widget.h"
#include "pages/codes/rearm_code_dialog.h"
#include "support/scripted_prompts.h"
#include "widgets/value_list_editor.h"

namespace kv6::pages {
namespace {

using kv6::test::ScriptedPrompts;
using widgets::ValueListEditor;

struct FakeLink : WriteLink {
    bool ensureLink() override { return true; }
    void startWrite() override { ++started; }
    int started = 0;
};

void tick(QListWidget* list, int row) { list->item(row)->setCheckState(Qt::Checked); }

class CodesPageTest : public ::testing::Test {
protected:
    Configuration config;
    ScriptedPrompts prompts{false};
    FakeLink link;
    CodesPage page{config.codes, config.workspace, prompts, link};
    image::Image& received = config.workspace.ReceivedImage;

    // Answers the next dialog: `fill` edits it as a person would, then OK or Cancel.
    template <typename Dialog>
    void answer(std::function<void(Dialog&)> fill, bool ok) {
        page.setDialogRunner([fill, ok](QDialog& dialog) {
            auto* form = dynamic_cast<Dialog*>(&dialog);
            EXPECT_NE(form, nullptr);
            if (!form) return int(QDialog::Rejected);
            fill(*form);
            if (!ok) return int(QDialog::Rejected);
            EXPECT_TRUE(form->OKBtn->isEnabled());
            return form->OKBtn->isEnabled() ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
    }
    void loadFile() {
        config.document.DecodeImage(image::DecodeSource::FileLoad);
        config.workspace.flags.ClearSectionFlags();
        page.refreshFromModel();
    }
};

TEST_F(CodesPageTest, CaptionsAndLabels) {
    auto* codes = page.ValueListEditor9;
    auto* objects = page.ValueListEditor6;
    auto* legacy = page.ValueListEditor4;
    const std::vector<std::pair<QString, QString>> texts = {
        {page.findChildren<QGroupBox*>()[0]->title(), "Коды - Разделы"},
        {codes->horizontalHeaderItem(0)->text(), "Код"},
        {codes->horizontalHeaderItem(1)->text(), "Значение"},
        {codes->key(0), "Код 1"},
        {codes->key(23), "Код 24"},
        {codes->key(24), "Код 99"},
        {codes->rowSpec(0).editMask, "0000"},
        {page.findChildren<QGroupBox*>()[1]->title(), "Раздел/Объект"},
        {objects->horizontalHeaderItem(0)->text(), " Раздел  "},
        {objects->horizontalHeaderItem(1)->text(), " Номер объекта"},
        {objects->key(15), "Раздел 16"},
        {objects->rowSpec(0).editMask, "9999"},
        {page.findChildren<QLabel*>()[0]->text(), "Кол-во знаков в кодах пользователей"},
        {page.ComboBox9->itemText(0), "4"},
        {page.ComboBox9->itemText(1), "6"},
        {page.GroupBox4->title(), "Коды пользователей / перепостановочные разделы "},
        {legacy->key(7), "Код 8"},
        {page.CheckListBox1->item(7)->text(), "Раздел 8"},
        {page.SpeedButton14->toolTip(), "Записать"},
        {page.form7().findChild<QGroupBox*>()->title(), "Код Пользователя"},
        {page.form7().CheckBox1->text(), "Обход зон"},
        {page.form7().CheckListBox1->item(0)->text(), "Раздел 1"},
        {page.form7().CancelBtn->text(), "Отмена"},
        {page.form3().findChild<QGroupBox*>()->title(), "Код Пользователя"},
        {page.form3().CheckBox1->text(), "Перепостановка"},
        {page.form3().CancelBtn->text(), "Отмена"},
    };
    for (const auto& [shown, expected] : texts) EXPECT_EQ(shown, expected);
    EXPECT_EQ(codes->rowCount(), 25);
    EXPECT_EQ(objects->rowCount(), 16);
    EXPECT_TRUE(codes->rowSpec(0).readOnly && codes->rowSpec(24).ellipsis);
    EXPECT_TRUE(page.GroupBox4->isHidden());
}

TEST_F(CodesPageTest, CodeDialogTakesDigitsAndKeepsPartitionsInTheReceivedImage) {
    loadFile();
    answer<TForm7>(
        [](TForm7& form) {
            EXPECT_EQ(form.windowTitle(), "Код 5");
            EXPECT_EQ(form.Edit1->maxLength(), 4);
            form.Edit1->clear();
            QTest::keyClicks(form.Edit1, "12a34");  // the letter is refused
            form.CheckBox1->setChecked(true);
            tick(form.CheckListBox1, 1);
            tick(form.CheckListBox1, 3);
        },
        true);
    emit page.ValueListEditor9->editButtonClicked(4);
    EXPECT_EQ(page.ValueListEditor9->value(4), "1234");
    EXPECT_EQ(config.codes.values().codes[4], "1234");
    EXPECT_EQ(received[1167], 0x0A);
    EXPECT_EQ(received[1159], 0x10);
    EXPECT_TRUE(config.workspace.flags.isSet(11));

    // Cancel changes nothing.
    config.workspace.flags.ClearSectionFlags();
    answer<TForm7>([](TForm7& form) { form.Edit1->setText("9999"); form.CheckBox1->setChecked(false); }, false);
    emit page.ValueListEditor9->editButtonClicked(4);
    EXPECT_EQ(page.ValueListEditor9->value(4), "1234");
    EXPECT_EQ(received[1159], 0x10);
    EXPECT_FALSE(config.workspace.flags.isSet(11));
}

TEST_F(CodesPageTest, StoredCodeThatIsNotAllDigitsIsTakenUnchangedAndAShortOneIsExplained) {
    received[1195] = 0xFF;  // "????" as on a factory module
    received[1196] = 0xFF;
    loadFile();
    QString reason;
    answer<TForm7>(
        [&](TForm7& form) {
            EXPECT_EQ(form.Edit1->text(), "????");
            EXPECT_TRUE(form.Label1->text().isEmpty());
            form.Edit1->setText("12");
            EXPECT_FALSE(form.OKBtn->isEnabled());
            reason = form.Label1->text();
            form.Edit1->setText("????");
            tick(form.CheckListBox1, 2);
        },
        true);
    emit page.ValueListEditor9->editButtonClicked(0);
    EXPECT_EQ(reason, "Введите код из 4 цифр или оставьте поле пустым");
    EXPECT_EQ(received[1163], 0x04);
    EXPECT_EQ(config.codes.values().codes[0], "????");

    answer<TForm3>([](TForm3& form) { form.CheckBox1->setChecked(true); }, true);  // "??????" as loaded
    received[218] = received[219] = received[220] = 0xFF;
    loadFile();
    emit page.ValueListEditor4->editButtonClicked(0);
    EXPECT_EQ(config.codes.values().rearmCode, 1);
}

TEST_F(CodesPageTest, Code99HasOnePartitionAndItsBypassInByte1508) {
    loadFile();
    answer<TForm7>(
        [](TForm7& form) {
            EXPECT_TRUE(form.Edit1->text().isEmpty());
            EXPECT_FALSE(form.Edit1->isEnabled());
            tick(form.CheckListBox1, 1);
            tick(form.CheckListBox1, 4);  // "Раздел 5" after "Раздел 2"
            EXPECT_EQ(form.CheckListBox1->item(1)->checkState(), Qt::Unchecked);
            form.CheckBox1->setChecked(true);
        },
        true);
    emit page.ValueListEditor9->editButtonClicked(24);
    EXPECT_EQ(received[243], 16);
    EXPECT_EQ(received[1508] & 0x10, 0x10);
    EXPECT_EQ(page.ValueListEditor9->value(24), "");
    EXPECT_EQ(page.CheckListBox1->mask(), 16);  // the hidden list edits the same byte
}

TEST_F(CodesPageTest, HiddenTableDialogMarksTheRearmingCode) {
    loadFile();
    answer<TForm3>(
        [](TForm3& form) {
            EXPECT_EQ(form.windowTitle(), "Код 3");
            form.Edit1->clear();
            QTest::keyClicks(form.Edit1, "12x3456");
            form.CheckBox1->setChecked(true);
        },
        true);
    emit page.ValueListEditor4->editButtonClicked(2);
    EXPECT_EQ(page.ValueListEditor4->value(2), "123456");
    EXPECT_EQ(config.codes.values().rearmCode, 3);
    EXPECT_EQ(page.ValueListEditor4->key(2), "Код 3(Перепостановка)");
    EXPECT_EQ(page.ValueListEditor4->item(2, 0)->foreground().color(), QColor(0, 128, 0));
    EXPECT_EQ(page.ValueListEditor4->key(1), "Код 2");

    answer<TForm3>([](TForm3& form) { form.CheckBox1->setChecked(false); }, true);
    emit page.ValueListEditor4->editButtonClicked(2);
    EXPECT_EQ(config.codes.values().rearmCode, 0);
    EXPECT_EQ(page.ValueListEditor4->key(2), "Код 3");
}

TEST_F(CodesPageTest, SixDigitsExtendCodesAndTheMasks) {
    received[1195] = 0x21;
    received[1196] = 0x43;
    loadFile();
    EXPECT_EQ(page.ValueListEditor9->value(0), "1234");
    page.ComboBox9->setCurrentIndex(1);
    EXPECT_EQ(page.ValueListEditor9->value(0), "123400");
    EXPECT_EQ(page.ValueListEditor9->rowSpec(23).editMask, "000000");
    EXPECT_TRUE(config.workspace.flags.isSet(2));
    answer<TForm7>([](TForm7& form) { EXPECT_EQ(form.Edit1->maxLength(), 6); }, false);
    emit page.ValueListEditor9->editButtonClicked(0);

    // A typed entry of one to four digits is stored and shown padded.
    EXPECT_TRUE(page.ValueListEditor6->commitUserValue(2, "12"));
    EXPECT_EQ(page.ValueListEditor6->value(2), "0012");
    EXPECT_EQ(config.codes.values().partitionObjects[2], "0012");
    EXPECT_TRUE(config.workspace.flags.isSet(30));
    EXPECT_FALSE(page.ValueListEditor6->commitUserValue(2, "12345"));
}

TEST_F(CodesPageTest, WriteButtonQueuesTheEightJobsAfterTheQuestion) {
    loadFile();
    page.SpeedButton14->setEnabled(true);
    QTest::mouseClick(page.SpeedButton14, Qt::LeftButton);  // Cancel
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Сохранить изменения ?");
    EXPECT_EQ(prompts.shown[0].caption, " Запись");
    EXPECT_TRUE(config.workspace.queue.empty());

    answer<TForm7>([](TForm7& form) { form.Edit1->setText("4321"); tick(form.CheckListBox1, 0); }, true);
    emit page.ValueListEditor9->editButtonClicked(6);
    prompts.answers.push_back(true);
    QTest::mouseClick(page.SpeedButton14, Qt::LeftButton);
    const std::vector<image::WriteJob> expected = {{1195, 48}, {1642, 24}, {1163, 32}, {243, 1},
                                                   {990, 32},  {1159, 2},  {1162, 1},  {1508, 1}};
    EXPECT_EQ(config.workspace.queue.jobs(), expected);
    EXPECT_EQ(link.started, 1);
    const auto& image = config.workspace.ConfigImage;
    EXPECT_EQ(image[1213], 0x34);
    EXPECT_EQ(image[1214], 0x12);
    EXPECT_EQ(image[1169], 0x01);
}

}  // namespace
}  // namespace kv6::pages
