#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>

namespace kv6::pages {

// The code dialogs' "OK" / cancel row under a group box, and above it the
// line that says why OK is disabled. OK accepts, cancel rejects.
struct OkCancelButtons {
    QDialogButtonBox* box;
    QPushButton* ok;
    QPushButton* cancel;
    QLabel* reason;  // "Label1", shown only while OK is disabled
};

// Lays out the dialog: `group`, the reason line, the buttons.
inline OkCancelButtons addOkCancelButtons(QDialog* dialog, QWidget* group, const QString& cancelText) {
    auto* box = new QDialogButtonBox(dialog);
    QPushButton* ok = box->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKBtn"));
    QPushButton* cancel = box->addButton(cancelText, QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto* reason = new QLabel(dialog);
    reason->setObjectName(QStringLiteral("Label1"));
    reason->setWordWrap(true);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(group);
    layout->addWidget(reason);
    layout->addWidget(box);
    return {box, ok, cancel, reason};
}

// Enables OK, or disables it and says why on the reason line.
inline void allowOk(QPushButton* ok, QLabel* reason, bool allowed, const QString& why) {
    ok->setEnabled(allowed);
    reason->setText(allowed ? QString() : why);
    reason->setVisible(!allowed);
}

}  // namespace kv6::pages
