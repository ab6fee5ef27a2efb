#include "app/standard_dialogs.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>

namespace kv6::app {

namespace {

QString prgFileName(QWidget* parent, QFileDialog::AcceptMode mode, const QString& start = {}) {
    QFileDialog dialog(parent);
    StandardDialogs::preparePrgDialog(dialog, mode);
    if (!start.isEmpty()) {
        const QFileInfo info(start);
        if (info.isDir()) {
            dialog.setDirectory(info.absoluteFilePath());
        } else {
            dialog.setDirectory(info.absolutePath());
            if (mode == QFileDialog::AcceptSave) dialog.selectFile(info.fileName());
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace

void StandardDialogs::preparePrgDialog(QFileDialog& dialog, QFileDialog::AcceptMode mode) {
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QString allFiles = QCoreApplication::translate("kv6::app::StandardDialogs", "All Files (*.*)");
    dialog.setNameFilters({QCoreApplication::translate("kv6::app::StandardDialogs", "Korvel Files (*.prg)"), allFiles});
    dialog.setDefaultSuffix(QStringLiteral("prg"));
#ifndef Q_OS_WIN
    // Here "*.*" needs a dot in the name; under that entry every file is
    // shown, as where the filter comes from. Qt's own dialog lets the pattern
    // be replaced once the entry is chosen.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, allFiles](const QString& filter) {
        if (filter != allFiles) return;
        if (auto* files = dialog.findChild<QFileSystemModel*>()) files->setNameFilters({QStringLiteral("*")});
    });
#endif
}

// The dialogs are children of the window that first asked; a QPointer is null
// once that window took them down, and deleting a live child detaches it.
StandardDialogs::~StandardDialogs() {
    delete m_passwordDialog.data();
    delete m_portDialog.data();
}

QString StandardDialogs::openFileName(QWidget* parent) { return prgFileName(parent, QFileDialog::AcceptOpen); }

QString StandardDialogs::saveFileName(QWidget* parent) { return prgFileName(parent, QFileDialog::AcceptSave); }

QString StandardDialogs::openFileNameAt(QWidget* parent, const QString& start) {
    return prgFileName(parent, QFileDialog::AcceptOpen, start);
}

QString StandardDialogs::saveFileNameAt(QWidget* parent, const QString& start) {
    return prgFileName(parent, QFileDialog::AcceptSave, start);
}

std::optional<PasswordEntry> StandardDialogs::password(QWidget* parent, bool withNewPassword) {
    if (!m_passwordDialog) m_passwordDialog = new TPasswordDlg(parent);
    m_passwordDialog->setNewPasswordVisible(withNewPassword);
    m_passwordDialog->Password->setFocus();
    if (m_passwordDialog->exec() != QDialog::Accepted) return std::nullopt;
    return PasswordEntry{m_passwordDialog->currentText(), withNewPassword ? m_passwordDialog->newText() : QString()};
}

QString StandardDialogs::port(QWidget* parent, const QString& current) {
    if (!m_portDialog) m_portDialog = new TForm4(parent);
    m_portDialog->setPortText(current);
    m_portDialog->refreshPorts();
    m_portDialog->Edit1->setFocus();
    m_portDialog->exec();  // closed by any means, the text counts
    return m_portDialog->portText();
}

}  // namespace kv6::app
