#include "pages/codes/code_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "pages/codes/codes_model.h"
#include "pages/common/ok_cancel_buttons.h"
#include "pages/common/partition_list_widget.h"
#include "widgets/title_room.h"

namespace kv6::pages {

TForm7::TForm7(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form7"));
    auto* group = new QGroupBox(tr("Код Пользователя"), this);
    Edit1 = new QLineEdit(group);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    // A letter would be stored as its low four bits and come back as another character.
    Edit1->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Edit1));
    CheckBox1 = new QCheckBox(tr("Обход зон"), group);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckListBox1 = new PartitionListWidget(group);
    CheckListBox1->setObjectName(QStringLiteral("CheckListBox1"));
    auto* inner = new QVBoxLayout(group);
    inner->addWidget(Edit1);
    inner->addWidget(CheckBox1);
    inner->addWidget(CheckListBox1);

    const OkCancelButtons buttons = addOkCancelButtons(this, group, tr("Отмена"));
    new widgets::TitleRoom(this);
    OKBtn = buttons.ok;
    CancelBtn = buttons.cancel;
    Label1 = buttons.reason;

    connect(CheckListBox1, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item) { CheckListBox1ClickCheck(CheckListBox1->row(item)); });
    connect(Edit1, &QLineEdit::textChanged, this, &TForm7::updateOk);
    setCodeLength(4);
}

void TForm7::load(const QString& caption, const QString& code, bool bypass, std::uint8_t partitions) {
    setWindowTitle(caption);
    const bool code99 = isCode99();
    m_loadedCode = code99 ? QString() : code;
    Edit1->setText(m_loadedCode);
    Edit1->setEnabled(!code99);
    CheckBox1->setEnabled(true);
    CheckBox1->setChecked(bypass);
    CheckListBox1->setMask(partitions);
    updateOk();
}

void TForm7::setCodeLength(int length) {
    Edit1->setMaxLength(length);
    updateOk();
}

QString TForm7::code() const { return Edit1->text(); }
bool TForm7::bypass() const { return CheckBox1->isChecked(); }
std::uint8_t TForm7::partitions() const { return CheckListBox1->mask(); }

bool TForm7::isCode99() const { return windowTitle().contains(QStringLiteral("99")); }

void TForm7::CheckListBox1ClickCheck(int row) {
    if (!isCode99() || CheckListBox1->item(row)->checkState() != Qt::Checked) return;
    CheckListBox1->setMask(static_cast<std::uint8_t>(1u << row));
}

// A code left as it was loaded is taken as it stands (a factory "????"
// included), so that its partitions and bypass can still be changed.
void TForm7::updateOk() {
    const bool ok = !Edit1->isEnabled() || Edit1->text() == m_loadedCode ||
                    CodesModel::isCodeText(Edit1->text().toStdString(), Edit1->maxLength());
    allowOk(OKBtn, Label1, ok, tr("Введите код из %1 цифр или оставьте поле пустым").arg(Edit1->maxLength()));
}

}  // namespace kv6::pages
