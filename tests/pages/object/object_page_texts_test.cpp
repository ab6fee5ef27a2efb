#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

#include "pages/configuration.h"
#include "pages/object/object_page.h"
#include "support/scripted_prompts.h"
#include "widgets/value_list_editor.h"

namespace kv6::pages {
namespace {

struct NoLink : WriteLink {
    bool ensureLink() override { return false; }
    void startWrite() override {}
};

// Every caption and label of the "Объект" page, as the user reads it.
TEST(ObjectPageTexts, CaptionsAndLabels) {
    Configuration config;
    kv6::test::ScriptedPrompts prompts;
    NoLink link;
    ObjectPage page{config.object, config.workspace, prompts, link};
    QStringList shown;
    for (const auto* box : page.findChildren<QGroupBox*>()) shown << box->title();
    for (const auto* label : page.findChildren<QLabel*>()) shown << label->text();
    for (const auto* button : page.findChildren<QAbstractButton*>()) shown << button->text();
    for (const auto* grid : page.findChildren<widgets::ValueListEditor*>()) {
        shown << grid->horizontalHeaderItem(0)->text() << grid->horizontalHeaderItem(1)->text();
        for (int row = 0; row < grid->rowCount(); ++row) shown << grid->key(row);
    }
    const char* const expected[] = {
        "Настройки Объекта", "Свойства Объекта", "Значение", "Объект №", "Приемник №", "Линия №",
        "IP соединение", "IP адрес", "IP порт", "Точка доступа (APN)", "Пользователь", "Пароль", "IP адрес 2",
        "IP порт 2", "Передача на второй IP адрес", "Неиспользуется", "В случае отказа IP1", "Передавать всегда",
        "PIN код ", "Время Опроса, мин", "Кол-во попыток IP1", "Кол-во попыток IP2", "Время попытки, сек.",
        "Отключить GPRS канал", "Сообщение о программирование",
    };
    for (const char* text : expected) EXPECT_TRUE(shown.contains(QString::fromUtf8(text))) << text;
}

}  // namespace
}  // namespace kv6::pages
