#include "pages/codes/rearm_code_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "pages/codes/codes_model.h"
#include "pages/common/ok_cancel_buttons.h"

namespace kv6::pages {

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form3"));
    auto* group = new QGroupBox(tr("Код Пользователя"), this);
    Edit1 = new QLineEdit(group);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(CodesModel::kLegacyCodeDigits);
    Edit1->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Edit1));
    CheckBox1 = new QCheckBox(tr("Перепостановка"), group);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    auto* inner = new QVBoxLayout(group);
    inner->addWidget(Edit1);
    inner->addWidget(CheckBox1);

    const OkCancelButtons buttons = addOkCancelButtons(this, tr("Отмена"));
    OKBtn = buttons.ok;
    CancelBtn = buttons.cancel;
    connect(Edit1, &QLineEdit::textChanged, this, &TForm3::updateOk);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons.box);
}

void TForm3::load(int row, const QString& code, bool rearm) {
    setWindowTitle(tr("Код ") + QString::number(row));
    Edit1->setText(code);
    CheckBox1->setChecked(rearm);
    updateOk();
}

QString TForm3::code() const { return Edit1->text(); }
bool TForm3::rearm() const { return CheckBox1->isChecked(); }

void TForm3::updateOk() {
    OKBtn->setEnabled(CodesModel::isCodeText(Edit1->text().toStdString(), CodesModel::kLegacyCodeDigits));
}

}  // namespace kv6::pages
