#include <gtest/gtest.h>

#include <tuple>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeWidget>

#include "image/field_codec.h"
#include "pages/configuration.h"
#include "pages/settings/settings_page.h"
#include "support/scripted_prompts.h"
#include "widgets/spin_edit.h"

namespace kv6::pages {
namespace {

using kv6::test::ScriptedPrompts;

struct FakeLink : WriteLink {
    int started = 0;
    bool ensureLink() override { return true; }
    void startWrite() override { ++started; }
};

struct StatusRecorder : StatusSink {
    std::string operation;
    void setStatus(StatusPanel panel, const std::string& text) override {
        if (panel == StatusPanel::Operation) operation = text;
    }
};

class SettingsPageTest : public ::testing::Test {
protected:
    Configuration config;
    ScriptedPrompts prompts{false};  // Cancel unless a test scripts OK
    FakeLink link;
    StatusRecorder status;
    SettingsPage page{config.settings, config.workspace, prompts, link, status};

    template <typename T>
    T* find(const char* name) {
        T* w = page.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void click(const char* name) {
        auto* button = find<QToolButton>(name);
        button->setEnabled(true);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QStringList column(int c) {
        QStringList texts;
        auto* list = find<QTreeWidget>("ListView2");
        for (int r = 0; r < list->topLevelItemCount(); ++r) texts << list->topLevelItem(r)->text(c);
        return texts;
    }
};

TEST_F(SettingsPageTest, CaptionsAndLabels) {
    const auto* form = qobject_cast<QFormLayout*>(find<QGroupBox>("GroupBox21")->layout());
    ASSERT_NE(form, nullptr);
    auto label = [form](QWidget* field) {
        auto* l = qobject_cast<QLabel*>(form->labelForField(field));
        return l ? l->text() : QString("<none>");
    };
    auto* list = find<QTreeWidget>("ListView2");
    const std::vector<std::pair<QString, QString>> texts = {
        {find<QGroupBox>("GroupBox20")->title(), "Адреса внешних устройств"},
        {find<QGroupBox>("GroupBox21")->title(), " Дата / Время     "},
        {list->headerItem()->text(0), "№"},
        {list->headerItem()->text(1), "Адрес"},
        {list->headerItem()->text(2), "Устройство"},
        {list->headerItem()->text(3), "На шине"},
        {find<QAction>("N9")->text(), "Удалить"},
        {find<QComboBox>("ComboBox7")->placeholderText(), "ComboBox7"},
        {find<QToolButton>("SpeedButton15")->toolTip(), "Добавить "},
        {find<QToolButton>("SpeedButton16")->toolTip(), "Записать"},
        {find<QToolButton>("SpeedButton17")->toolTip(), "Записать"},
        {find<QCheckBox>("CheckBox3")->text(), "Использовать NTP"},
        {label(find<QComboBox>("ComboBox18")), "Часовой пояс (для журнала):"},
        {label(find<QLineEdit>("MaskEdit1")), "NTP сервер"},
        {label(find<widgets::SpinEdit>("UpDown10")), "Интервал синхронизации, часы"},
        {label(find<QLineEdit>("MaskEdit2")), "Сервер программирования"},
        {find<QComboBox>("ComboBox18")->itemText(0), "GMT+01:00"},
        {find<QComboBox>("ComboBox18")->itemText(12), "GMT+13:00"},
    };
    for (const auto& [shown, expected] : texts) EXPECT_EQ(shown.toStdString(), expected.toStdString());
    EXPECT_EQ(find<QComboBox>("ComboBox18")->count(), 13);
    EXPECT_EQ(find<widgets::SpinEdit>("UpDown10")->value(), 5);
    EXPECT_FALSE(find<QLineEdit>("MaskEdit1")->isEnabled());
    EXPECT_FALSE(find<QToolButton>("SpeedButton17")->isEnabled());
}

TEST_F(SettingsPageTest, AddingAndDeletingDevices) {
    click("SpeedButton15");  // no device types: nothing chosen
    EXPECT_EQ(status.operation, " Не выбран тип устройства");
    EXPECT_TRUE(column(0).isEmpty());

    page.setDeviceTypes({"Клавиатура\t1", "Расширитель\t2", "Реле\t10", "Сирена\t7"});
    auto* types = find<QComboBox>("ComboBox7");
    EXPECT_EQ(types->currentText(), "Клавиатура . Адрес 1");
    for (int i = 0; i < 4; ++i) {
        types->setCurrentIndex(i);
        click("SpeedButton15");
    }
    EXPECT_EQ(column(2), (QStringList{"Клавиатура", "Расширитель", "Реле", "Сирена"}));
    auto* list = find<QTreeWidget>("ListView2");
    list->setCurrentItem(list->topLevelItem(1));
    find<QAction>("N9")->trigger();
    EXPECT_EQ(column(0), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(column(1), (QStringList{"1", "10", "7"}));
}

TEST_F(SettingsPageTest, DeviceButtonAsksThenWritesTheTableOrReportsABadAddress) {
    page.setDeviceTypes({"A\t1", "B\tabc"});
    click("SpeedButton15");
    click("SpeedButton16");  // Cancel
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Сохранить изменения ?");
    EXPECT_EQ(prompts.shown[0].caption, " Запись");
    EXPECT_TRUE(config.workspace.queue.empty());

    prompts.answers = {true};
    click("SpeedButton16");
    EXPECT_EQ(config.workspace.queue.jobs(), (std::vector<image::WriteJob>{{1509, 16}}));
    EXPECT_EQ(config.workspace.ConfigImage[1509], 1);
    EXPECT_EQ(config.workspace.ConfigImage[1510], 0xFF);

    config.workspace.queue.clear();
    find<QComboBox>("ComboBox7")->setCurrentIndex(1);
    click("SpeedButton15");
    prompts.answers = {true};
    click("SpeedButton16");
    EXPECT_TRUE(config.workspace.queue.empty());
    EXPECT_EQ(status.operation, " Адрес устройства должен быть числом от 0 до 254");
}

TEST_F(SettingsPageTest, ClockButtonWritesWithoutAQuestion) {
    find<QComboBox>("ComboBox18")->setCurrentIndex(2);
    find<QDateEdit>("DateTimePicker1")->setDate(QDate(2000, 1, 1));
    find<QTimeEdit>("DateTimePicker2")->setTime(QTime(0, 0, 0));
    auto* server = find<QLineEdit>("MaskEdit2");
    server->setCursorPosition(0);
    QTest::keyClicks(server, "192168001010");
    find<widgets::SpinEdit>("UpDown10")->setValue(9);  // NTP off: the interval is not stored
    click("SpeedButton17");
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(link.started, 1);
    EXPECT_EQ(config.workspace.queue.jobs(), (std::vector<image::WriteJob>{{1525, 20}, {1588, 15}}));
    const image::Image& c = config.workspace.ConfigImage;
    EXPECT_EQ((std::vector<int>{c[1525], c[1526], c[1527], c[1528]}), (std::vector<int>{0xD0, 0x97, 0x17, 0xBC}));
    EXPECT_EQ(c[1544], 0);
    EXPECT_EQ(image::ImageText(c, 1588, 15), "192.168.001.010");
}

TEST_F(SettingsPageTest, HalfTypedOrOutOfRangeServerIsRefusedWithTheFieldNamed) {
    for (const auto& [name, typed, field] : {std::tuple{"MaskEdit1", "10", "NTP сервер"},
                                             std::tuple{"MaskEdit2", "300001001001", "Сервер программирования"}}) {
        page.refreshFromModel();
        prompts.shown.clear();
        auto* server = find<QLineEdit>(name);
        server->setEnabled(true);
        server->setCursorPosition(0);
        QTest::keyClicks(server, typed);
        click("SpeedButton17");
        ASSERT_EQ(prompts.shown.size(), 1u) << name;
        EXPECT_EQ(prompts.shown[0].text, std::string(field) + ": адрес введён не полностью или неверно. Введите "
                                                              "четыре числа от 0 до 255 или оставьте поле пустым.");
        EXPECT_TRUE(config.workspace.queue.empty());
        EXPECT_FALSE(page.serversCanBeSent());
    }
    EXPECT_TRUE(SettingsModel::isServerAddress(""));
    EXPECT_TRUE(SettingsModel::isServerAddress("10.0.0.255"));
    EXPECT_FALSE(SettingsModel::isServerAddress("10..."));
}

TEST_F(SettingsPageTest, DecodeAfterASerialReadShowsThePresenceAndTheNtpState) {
    image::Image& r = config.workspace.ReceivedImage;
    std::fill_n(r.begin() + 1509, 16, std::uint8_t{0xFF});
    r[1509] = 3;
    r[1510] = 4;
    image::writeU16Le(r, 1581, 0x0001);
    r[1544] = 0;
    config.document.DecodeImage(image::DecodeSource::SerialRead);
    page.refreshFromModel();
    EXPECT_EQ(column(3), (QStringList{"Да", "Нет"}));
    EXPECT_FALSE(find<QTreeWidget>("ListView2")->topLevelItem(0)->icon(3).isNull());
    EXPECT_FALSE(find<QCheckBox>("CheckBox3")->isChecked());
    EXPECT_FALSE(find<QLineEdit>("MaskEdit1")->isEnabled());
    EXPECT_FALSE(find<widgets::SpinEdit>("UpDown10")->isEnabled());
    find<QCheckBox>("CheckBox3")->setChecked(true);
    EXPECT_TRUE(find<QLineEdit>("MaskEdit1")->isEnabled());
}

// The module's clock is set in the chosen zone; the computer's own zone does not count.
TEST_F(SettingsPageTest, ComputerTimeSetsBothPickersInTheChosenZoneAndMarksTheClock) {
    config.document.rememberFields();
    find<QComboBox>("ComboBox18")->setCurrentIndex(2);  // "GMT+03:00"
    EXPECT_EQ(find<QToolButton>("ComputerTimeButton")->text(), "Время компьютера");
    page.setComputerTime(QDateTime(QDate(2026, 12, 31), QTime(22, 15, 7), Qt::UTC));
    EXPECT_EQ(find<QDateEdit>("DateTimePicker1")->date(), QDate(2027, 1, 1));
    EXPECT_EQ(find<QTimeEdit>("DateTimePicker2")->time(), QTime(1, 15, 7));
    EXPECT_EQ(config.settings.changedKeys(), (std::vector<std::string>{"clock", "timeZone"}));
    EXPECT_TRUE(find<QDateEdit>("DateTimePicker1")->font().bold());
}

}  // namespace
}  // namespace kv6::pages
