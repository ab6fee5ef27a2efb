#include "pages/codes/rearm_code_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "pages/codes/codes_model.h"
#include "pages/common/ok_cancel_buttons.h"
#include "widgets/title_room.h"

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

    const OkCancelButtons buttons = addOkCancelButtons(this, group, tr("Отмена"));
    new widgets::TitleRoom(this);
    OKBtn = buttons.ok;
    CancelBtn = buttons.cancel;
    Label1 = buttons.reason;
    connect(Edit1, &QLineEdit::textChanged, this, &TForm3::updateOk);
}

void TForm3::load(int row, const QString& code, bool rearm) {
    setWindowTitle(tr("Код ") + QString::number(row));
    m_loadedCode = code;
    Edit1->setText(code);
    CheckBox1->setChecked(rearm);
    updateOk();
}

QString TForm3::code() const { return Edit1->text(); }
bool TForm3::rearm() const { return CheckBox1->isChecked(); }

// A code left as it was loaded is taken as it stands.
void TForm3::updateOk() {
    const bool ok = Edit1->text() == m_loadedCode ||
                    CodesModel::isCodeText(Edit1->text().toStdString(), CodesModel::kLegacyCodeDigits);
    allowOk(OKBtn, Label1, ok,
            tr("Введите код из %1 цифр или оставьте поле пустым").arg(CodesModel::kLegacyCodeDigits));
}

}  // namespace kv6::pages
