#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <deque>

#include "pages/configuration.h"
#include "support/scripted_prompts.h"
#include "pages/object/object_page.h"
#include "widgets/spin_edit.h"
#include "widgets/value_list_editor.h"

namespace kv6::pages {
namespace {

using widgets::SpinEdit;
using widgets::ValueListEditor;

using kv6::test::ScriptedPrompts;

struct FakeLink : WriteLink {
    bool linkReady = true;
    int ensured = 0;
    int started = 0;
    bool ensureLink() override {
        ++ensured;
        return linkReady;
    }
    void startWrite() override { ++started; }
};

class ObjectPageTest : public ::testing::Test {
protected:
    Configuration config;
    ScriptedPrompts prompts{false};  // Cancel unless a test scripts OK
    FakeLink link;
    ObjectPage page{config.object, config.workspace, prompts, link};

    template <typename T>
    T* find(const char* name) {
        T* w = page.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    bool anyEntrySet() const {
        for (int e : config.object.ownEntries())
            if (config.workspace.flags.isSet(e)) return true;
        return false;
    }
    void press() {
        auto* button = find<QToolButton>("SpeedButton9");
        button->setEnabled(true);
        QTest::mouseClick(button, Qt::LeftButton);
    }
};

TEST_F(ObjectPageTest, ControlsCarryTheSystemNamesAndTexts) {
    EXPECT_EQ(page.objectName(), "ObjectPage");
    auto* grid1 = find<ValueListEditor>("ValueListEditor1");
    EXPECT_EQ(grid1->horizontalHeaderItem(0)->text(), "Свойства Объекта");
    EXPECT_EQ(grid1->horizontalHeaderItem(1)->text(), "Значение");
    EXPECT_EQ(grid1->key(0), "Объект №");
    EXPECT_EQ(grid1->rowSpec(1).editMask, "AAAA");
    auto* grid2 = find<ValueListEditor>("ValueListEditor2");
    EXPECT_EQ(grid2->horizontalHeaderItem(0)->text(), "IP соединение");
    ASSERT_EQ(grid2->rowCount(), 8);
    const QStringList keys = {"IP адрес", "IP порт", "Точка доступа (APN)", "Пользователь", "Пароль",
                              "IP адрес 2", "IP порт 2", ""};
    for (int r = 0; r < 8; ++r) EXPECT_EQ(grid2->key(r), keys[r]);
    EXPECT_EQ(grid2->rowSpec(0).editMask, "000.000.000.000");
    EXPECT_EQ(grid2->rowSpec(2).maxLength, 40);

    auto* radio = find<QGroupBox>("RadioGroup2");
    EXPECT_EQ(radio->title(), "Передача на второй IP адрес");
    const auto items = radio->findChildren<QRadioButton*>();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[1]->text(), "В случае отказа IP1");
    EXPECT_TRUE(items[0]->isChecked());

    EXPECT_EQ(find<QCheckBox>("CheckBox1")->text(), "");
    EXPECT_EQ(find<QLineEdit>("Edit5")->maxLength(), 4);
    EXPECT_EQ(find<QCheckBox>("CheckBox4")->toolTip(), "Передавать сообщение об удаленном входе в режим программирования");
    auto* button = find<QToolButton>("SpeedButton9");
    EXPECT_EQ(button->toolTip(), "Записать");
    EXPECT_FALSE(button->isEnabled());
    EXPECT_EQ(page.writeButton(), button);

    // Defaults of the form.
    EXPECT_EQ(find<SpinEdit>("UpDown4")->value(), 0);
    EXPECT_EQ(find<QLineEdit>("Edit4")->text(), "0");
    EXPECT_EQ(find<SpinEdit>("UpDown7")->value(), 10);
    EXPECT_EQ(find<SpinEdit>("UpDown8")->value(), 1);
    EXPECT_EQ(find<SpinEdit>("UpDown9")->maximum(), 15);
    EXPECT_NE(find<QLineEdit>("Edit8"), nullptr);
    EXPECT_NE(find<QLineEdit>("Edit9"), nullptr);
    EXPECT_NE(find<QLineEdit>("Edit10"), nullptr);
    EXPECT_NE(find<QLineEdit>("Edit3"), nullptr);
    EXPECT_EQ(find<SpinEdit>("UpDown3")->maximum(), 255);
    EXPECT_FALSE(anyEntrySet());
}

TEST_F(ObjectPageTest, AdvancedFieldsAndHiddenControls) {
    page.show();
    EXPECT_FALSE(find<SpinEdit>("UpDown7")->isVisible());
    EXPECT_FALSE(find<QCheckBox>("CheckBox2")->isVisible());
    EXPECT_TRUE(find<SpinEdit>("UpDown4")->isVisible());
    EXPECT_FALSE(find<SpinEdit>("UpDown3")->isVisible());
    EXPECT_FALSE(find<QWidget>("Shape1")->isVisible());
    page.setAdvancedVisible(true);
    EXPECT_TRUE(find<SpinEdit>("UpDown8")->isVisible());
    EXPECT_TRUE(find<QCheckBox>("CheckBox4")->isVisible());
}

TEST_F(ObjectPageTest, EditsReachTheModelAndRaiseTheirEntries) {
    auto& flags = config.workspace.flags;
    find<ValueListEditor>("ValueListEditor1")->commitUserValue(0, "123456");
    EXPECT_EQ(config.object.values().objectNumber, "123456");
    EXPECT_TRUE(flags.isSet(0));

    find<ValueListEditor>("ValueListEditor2")->commitUserValue(0, "10.0.0.1");
    EXPECT_EQ(config.object.values().ipAddress, "010.000.000.001");
    EXPECT_TRUE(flags.isSet(1));

    find<SpinEdit>("UpDown3")->setValue(6);
    EXPECT_EQ(config.object.values().codeDigits, 6);
    EXPECT_TRUE(flags.isSet(2));

    find<SpinEdit>("UpDown9")->setValue(15);
    EXPECT_EQ(config.object.values().attemptsIp2, 15);
    EXPECT_TRUE(flags.isSet(3));

    find<QGroupBox>("RadioGroup2")->findChildren<QRadioButton*>()[2]->click();
    EXPECT_EQ(config.object.values().secondIpMode, 2);
    EXPECT_TRUE(flags.isSet(31));

    // The option check boxes change the model but raise nothing.
    flags.ClearSectionFlags();
    find<QCheckBox>("CheckBox2")->setChecked(true);
    EXPECT_TRUE(config.object.values().gprsChannelOff);
    EXPECT_FALSE(anyEntrySet());
}

TEST_F(ObjectPageTest, PinFrameShowsAnIncompleteEnabledPin) {
    page.show();
    auto* check = find<QCheckBox>("CheckBox1");
    auto* edit = find<QLineEdit>("Edit5");
    auto* frame = find<QWidget>("Shape1");
    check->click();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(config.workspace.flags.isSet(31));
    QTest::keyClicks(edit, "12a345");
    EXPECT_EQ(edit->text(), "1234");  // digits only, four at most
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(config.object.values().pin, "1234");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_TRUE(frame->isVisible());
    check->click();
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(ObjectPageTest, RefreshShowsTheDecodeWithoutRaisingEntries) {
    auto& r = config.workspace.ReceivedImage;
    const std::string object = "654321";
    std::copy(object.begin(), object.end(), r.begin());
    const std::string apn = "internet;";
    std::copy(apn.begin(), apn.end(), r.begin() + 134);
    const std::string pin = "12";
    std::copy(pin.begin(), pin.end(), r.begin() + 1022);
    r[1026] = 1;
    r[763] = 0xE2;
    r[765] = 30;
    r[1579] = 0x2C;
    r[1580] = 0x01;
    r[760] = 4;
    r[1508] = 0x04;
    config.document.DecodeImage(image::DecodeSource::SerialRead);
    page.refreshFromModel();
    EXPECT_EQ(find<ValueListEditor>("ValueListEditor1")->value(0), "654321");
    EXPECT_EQ(find<ValueListEditor>("ValueListEditor2")->value(2), "internet");
    EXPECT_TRUE(find<QGroupBox>("RadioGroup2")->findChildren<QRadioButton*>()[1]->isChecked());
    EXPECT_EQ(find<QLineEdit>("Edit4")->text(), "300");
    EXPECT_EQ(find<SpinEdit>("UpDown8")->value(), 3);
    EXPECT_EQ(find<SpinEdit>("UpDown9")->value(), 15);
    EXPECT_EQ(find<SpinEdit>("UpDown7")->value(), 30);
    EXPECT_EQ(find<QLineEdit>("Edit3")->text(), "4");
    EXPECT_FALSE(find<QCheckBox>("CheckBox1")->isChecked());
    EXPECT_TRUE(find<QCheckBox>("CheckBox4")->isChecked());
    EXPECT_FALSE(anyEntrySet());
    EXPECT_EQ(config.object.values().pollTimeMinutes, 300);
}

TEST_F(ObjectPageTest, WriteButtonQueuesTheTenJobsAfterOk) {
    find<ValueListEditor>("ValueListEditor1")->commitUserValue(0, "123456");
    config.workspace.flags.ClearSectionFlags();  // the button writes the whole page anyway
    prompts.answers = {true};
    press();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Сохранить изменения ?");
    EXPECT_EQ(prompts.shown[0].caption, " Запись");
    EXPECT_EQ(prompts.shown[0].icon, MessageIcon::Information);
    EXPECT_EQ(prompts.shown[0].buttons, MessageButtons::OkCancel);
    const std::vector<image::WriteJob> expected = {{0, 14},  {115, 19}, {134, 41}, {175, 42}, {768, 19},
                                                   {760, 1}, {1508, 1}, {1579, 2}, {763, 3},  {1022, 5}};
    EXPECT_EQ(config.workspace.queue.jobs(), expected);
    EXPECT_EQ(std::string(config.workspace.ConfigImage.begin(), config.workspace.ConfigImage.begin() + 6), "123456");
    EXPECT_EQ(link.started, 1);
    EXPECT_FALSE(anyEntrySet());
}

TEST_F(ObjectPageTest, CancelQueuesNothingAndLeavesEntriesSet) {
    prompts.answers = {false};
    press();
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(config.workspace.queue.empty());
    EXPECT_EQ(link.started, 0);
    for (int e : config.object.ownEntries()) EXPECT_TRUE(config.workspace.flags.isSet(e)) << e;
}

TEST_F(ObjectPageTest, NoLinkStopsBeforeAnything) {
    link.linkReady = false;
    press();
    EXPECT_EQ(link.ensured, 1);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(config.workspace.queue.empty());
    EXPECT_FALSE(anyEntrySet());
    EXPECT_EQ(link.started, 0);
}

}  // namespace
}  // namespace kv6::pages
