#pragma once

#include <QFileDialog>
#include <QPointer>

#include "app/dialog_provider.h"
#include "app/password_dialog.h"
#include "app/port_dialog.h"

namespace kv6::app {

// The real dialogs: file dialogs for .prg files, and the one password dialog
// and port dialog of the run, created on first use and reused.
class StandardDialogs final : public DialogProvider {
public:
    StandardDialogs() = default;
    StandardDialogs(const StandardDialogs&) = delete;
    StandardDialogs& operator=(const StandardDialogs&) = delete;
    ~StandardDialogs() override;

    [[nodiscard]] QString openFileName(QWidget* parent) override;
    [[nodiscard]] QString saveFileName(QWidget* parent) override;
    [[nodiscard]] QString openFileNameAt(QWidget* parent, const QString& start) override;
    [[nodiscard]] QString saveFileNameAt(QWidget* parent, const QString& start) override;
    [[nodiscard]] std::optional<PasswordEntry> password(QWidget* parent, bool withNewPassword) override;
    [[nodiscard]] QString port(QWidget* parent, const QString& current) override;

    // The open and save dialog of .prg files: "Korvel Files (*.prg)" and
    // "All Files (*.*)", default extension "prg".
    static void preparePrgDialog(QFileDialog& dialog, QFileDialog::AcceptMode mode);

private:
    QPointer<TPasswordDlg> m_passwordDialog;
    QPointer<TForm4> m_portDialog;
};

}  // namespace kv6::app
