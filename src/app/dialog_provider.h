#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace kv6::app {

// What the password dialog returns on OK: the texts as typed.
struct PasswordEntry {
    QString current;  // "Пароль на чтение"
    QString next;     // "Новый пароль (0...65535)"; empty when the row was hidden
};

// Every modal dialog of the main window goes through here, so that tests can
// answer them without a person. The default implementation shows the real ones.
class DialogProvider {
public:
    virtual ~DialogProvider() = default;
    // Open and save dialogs of .prg files; an empty text means cancelled.
    [[nodiscard]] virtual QString openFileName(QWidget* parent) = 0;
    [[nodiscard]] virtual QString saveFileName(QWidget* parent) = 0;
    // The same, starting at `start`: a folder, or a file name proposed in its folder.
    [[nodiscard]] virtual QString openFileNameAt(QWidget* parent, const QString& start) {
        (void)start;
        return openFileName(parent);
    }
    [[nodiscard]] virtual QString saveFileNameAt(QWidget* parent, const QString& start) {
        (void)start;
        return saveFileName(parent);
    }
    // TPasswordDlg; withNewPassword shows the second row. nullopt unless OK.
    [[nodiscard]] virtual std::optional<PasswordEntry> password(QWidget* parent, bool withNewPassword) = 0;
    // TForm4 showing `current`; returns the port text as it stands when the
    // dialog is closed, however it is closed.
    [[nodiscard]] virtual QString port(QWidget* parent, const QString& current) = 0;
};

}  // namespace kv6::app
