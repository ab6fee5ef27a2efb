#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <random>

#include "widgets/edit_mask.h"
#include "widgets/spin_edit.h"
#include "widgets/value_list_editor.h"

namespace kv6::widgets {
namespace {

TEST(EditMaskTest, TranslatesDelphiPlaceholdersAndLiterals) {
    EXPECT_EQ(EditMask("000000").qtInputMask(), "999999");
    EXPECT_EQ(EditMask("AAAA").qtInputMask(), "NNNN");
    EXPECT_EQ(EditMask("000.000.000.000").qtInputMask(), "999.999.999.999");
    EXPECT_EQ(EditMask("cc99aLl").qtInputMask(), "xx00nAa");
    EXPECT_EQ(EditMask(">LL<>c").qtInputMask(), ">AA!x");
    // A literal that means something to Qt is escaped; Delphi escapes stay literal.
    EXPECT_EQ(EditMask("0-D\\0;1;_").qtInputMask(), "9-\\D\\0");
    EXPECT_TRUE(EditMask("").isEmpty());
    EXPECT_EQ(EditMask("000.AAc\\0").editorInputMask(), "000.nnx\\0");
}

TEST(EditMaskTest, NormalisesAndRefusesEntries) {
    const EditMask ip("000.000.000.000");
    EXPECT_EQ(ip.normalise("192.168.1.10"), "192.168.001.010");
    EXPECT_EQ(ip.normalise("010.000.000.001"), "010.000.000.001");
    EXPECT_EQ(ip.normalise("..."), "");
    EXPECT_EQ(ip.normalise(""), "");
    EXPECT_EQ(ip.normalise("1.2.3"), std::nullopt);
    EXPECT_EQ(ip.normalise("1.2..4"), std::nullopt);
    EXPECT_EQ(ip.normalise("1234.2.3.4"), std::nullopt);
    EXPECT_EQ(ip.normalise("a.2.3.4"), std::nullopt);

    const EditMask digits("000000");
    EXPECT_EQ(digits.normalise("123456"), "123456");
    EXPECT_EQ(digits.normalise("12345"), std::nullopt);  // '0' requires a digit
    EXPECT_EQ(digits.normalise("1234567"), std::nullopt);
    EXPECT_EQ(digits.normalise("12a456"), std::nullopt);

    const EditMask code("AAAA");
    EXPECT_EQ(code.normalise("AB12"), "AB12");
    EXPECT_EQ(code.normalise("AB-1"), std::nullopt);
    EXPECT_EQ(code.normalise("AB"), std::nullopt);

    EXPECT_EQ(EditMask("cccc").normalise("a;"), "a;");  // 'c' permits anything, optional
}

TEST(EditMaskTest, RandomEntriesNeverCrashAndStayInShape) {
    std::mt19937 rng(99);
    const EditMask ip("000.000.000.000");
    const QString alphabet = QStringLiteral("0123456789.. aZ;\\_");
    for (int i = 0; i < 3000; ++i) {
        QString text;
        for (int n = int(rng() % 20); n > 0; --n) text += alphabet[int(rng() % alphabet.size())];
        const auto result = ip.normalise(text);
        if (result && !result->isEmpty()) {
            ASSERT_EQ(result->size(), 15) << text.toStdString();
            ASSERT_EQ(result->count('.'), 3);
        }
    }
}

ValueListEditor::RowSpec row(const QString& key, const QString& mask = {}) {
    ValueListEditor::RowSpec spec;
    spec.key = key;
    spec.editMask = mask;
    return spec;
}

class ValueListEditorTest : public ::testing::Test {
protected:
    ValueListEditor grid;
    void SetUp() override {
        grid.setTitles("Свойства", "Значение");
        grid.addRow(row("Объект №", "000000"));
        grid.addRow(row("IP адрес", "000.000.000.000"));
        auto apn = row("APN");
        apn.maxLength = 5;
        apn.allowedPattern = "[^;]*";
        grid.addRow(apn);
        auto function = row("Функция");
        function.readOnly = true;
        function.ellipsis = true;
        grid.addRow(function);
        auto mode = row("Режим");
        mode.pickList = QStringList{"Нет", "Да"};
        grid.addRow(mode);
        grid.resize(400, 300);
        grid.show();
    }
    // Types into a cell through its real editor and commits with Enter.
    void typeInto(int row, const QString& text) {
        grid.setCurrentCell(row, 1);
        grid.editItem(grid.item(row, 1));
        auto* edit = grid.viewport()->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        edit->selectAll();
        edit->del();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        QCoreApplication::processEvents();  // the commit is queued
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(ValueListEditorTest, HoldsFixedKeysAndTitles) {
    EXPECT_EQ(grid.rowCount(), 5);
    EXPECT_EQ(grid.columnCount(), 2);
    EXPECT_EQ(grid.horizontalHeaderItem(0)->text(), "Свойства");
    EXPECT_EQ(grid.key(1), "IP адрес");
    EXPECT_FALSE(grid.item(0, 0)->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(grid.item(3, 1)->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(grid.item(0, 1)->flags() & Qt::ItemIsEditable);
}

TEST_F(ValueListEditorTest, SignalsUserEditsOnly) {
    QSignalSpy spy(&grid, &ValueListEditor::valuesChanged);
    grid.setValue(0, "999999");
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(grid.value(0), "999999");

    typeInto(0, "123456");
    EXPECT_EQ(grid.value(0), "123456");
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), 0);

    // An incomplete entry is refused and the old value stays; a cleared cell is accepted.
    typeInto(0, "12");
    EXPECT_EQ(grid.value(0), "123456");
    EXPECT_EQ(spy.count(), 0);
    typeInto(0, "");
    EXPECT_EQ(grid.value(0), "");
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(ValueListEditorTest, DottedMaskKeepsDotsAndPadsGroups) {
    typeInto(1, "192.168.1.10");
    EXPECT_EQ(grid.value(1), "192.168.001.010");
    typeInto(1, "10.0.0.1");
    EXPECT_EQ(grid.value(1), "010.000.000.001");
}

TEST_F(ValueListEditorTest, MaxLengthAndPatternStopTyping) {
    typeInto(2, "internet");
    EXPECT_EQ(grid.value(2), "inter");
    typeInto(2, "a;b");
    EXPECT_EQ(grid.value(2), "ab");
    EXPECT_FALSE(grid.commitUserValue(2, "toolong"));
    EXPECT_FALSE(grid.commitUserValue(2, "a;"));
    EXPECT_EQ(grid.value(2), "ab");
}

TEST_F(ValueListEditorTest, ReadOnlyRowRaisesEditButton) {
    QSignalSpy spy(&grid, &ValueListEditor::editButtonClicked);
    EXPECT_FALSE(grid.commitUserValue(3, "x"));
    const QRect button = grid.editButtonRect(3);
    ASSERT_FALSE(button.isEmpty());
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, button.center());
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), 3);
    // A click elsewhere in the cell is no button click.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualItemRect(grid.item(3, 1)).topLeft() + QPoint(2, 2));
    EXPECT_EQ(spy.count(), 0);
    EXPECT_TRUE(grid.editButtonRect(0).isEmpty());
}

TEST_F(ValueListEditorTest, PickListOffersItsItemsOnly) {
    grid.setCurrentCell(4, 1);
    grid.editItem(grid.item(4, 1));
    auto* combo = grid.viewport()->findChild<QComboBox*>();
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 2);
    combo->setCurrentIndex(1);
    grid.setCurrentCell(0, 1);  // leaving the cell commits
    EXPECT_EQ(grid.value(4), "Да");
    EXPECT_FALSE(grid.commitUserValue(4, "Может"));
}

TEST(SpinEditTest, NamesRangeAndTypedLength) {
    QWidget parent;
    auto* spin = new SpinEdit("UpDown4", "Edit4", &parent);
    spin->setRange(0, 32767);
    spin->setMaxTypedLength(3);
    EXPECT_EQ(parent.findChild<QSpinBox*>("UpDown4"), spin);
    QLineEdit* edit = parent.findChild<QLineEdit*>("Edit4");
    ASSERT_EQ(edit, spin->edit());
    parent.show();

    edit->selectAll();
    QTest::keyClicks(spin, "12345");
    EXPECT_EQ(edit->text(), "123");
    EXPECT_EQ(spin->value(), 123);

    // The spinner may go beyond what can be typed; shortening stays possible.
    spin->setValue(32767);
    EXPECT_EQ(edit->text(), "32767");
    edit->end(false);
    QTest::keyClick(spin, Qt::Key_Backspace);
    EXPECT_EQ(spin->value(), 3276);
}

}  // namespace
}  // namespace kv6::widgets
