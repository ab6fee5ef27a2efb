#include "app/password_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

#include "widgets/title_room.h"

namespace kv6::app {

namespace {
QLineEdit* passwordEdit(QWidget* parent, const QString& name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(TPasswordDlg::kMaxLength);
    edit->setEchoMode(QLineEdit::Password);
    // Typed characters show as '*', not as the platform's dot.
    edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    return edit;
}
}  // namespace

TPasswordDlg::TPasswordDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PasswordDlg"));
    setWindowTitle(tr("Введите пароль"));

    Label1 = new QLabel(tr("Пароль на чтение"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Password = passwordEdit(this, QStringLiteral("Password"));
    Label2 = new QLabel(tr("Новый пароль (0...65535)"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Edit1 = passwordEdit(this, QStringLiteral("Edit1"));

    OKBtn = new QPushButton(tr("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(tr("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(Label1, 0, 0);
    fields->addWidget(Password, 1, 0);
    fields->addWidget(Label2, 2, 0);
    fields->addWidget(Edit1, 3, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);

    auto* statusBar = new QStatusBar(this);
    statusBar->setObjectName(QStringLiteral("StatusBar1"));
    statusBar->setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addWidget(statusBar);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    new widgets::TitleRoom(this);
}

void TPasswordDlg::setNewPasswordVisible(bool visible) {
    Label2->setVisible(visible);
    Edit1->setVisible(visible);
}

QString TPasswordDlg::currentText() const { return Password->text(); }
QString TPasswordDlg::newText() const { return Edit1->text(); }

}  // namespace kv6::app
