// The menu commands of TForm1 that talk to files and the module.
#include <QDir>
#include <QFileInfo>

#include "app/dialog_provider.h"
#include "app/link_control.h"
#include "app/main_window.h"
#include "app/panel_status_bar.h"
#include "app/tab_change_marks.h"
#include "io/prg_file.h"
#include "io/serial_port.h"
#include "pages/settings/settings_page.h"

namespace kv6::app {

namespace {

constexpr int kPasswordLength = 5;        // the current password must be typed in full
constexpr int kPartitionStateOffset = 1161;

QString fullName(const QString& path) { return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()); }

}  // namespace

bool TForm1::refusedWhileTransferring() {
    if (m_link->readActive()) {
        showRefusal(tr(" Идёт чтение данных из модуля. Дождитесь его завершения"));
        return true;
    }
    if (!m_configuration.workspace.queue.empty()) {
        showRefusal(tr(" Идёт запись данных в модуль. Дождитесь её завершения"));
        return true;
    }
    return false;
}

// "Сохранить в файл". A file that cannot be written is reported and the
// success text is not shown; QSaveFile keeps any earlier file intact.
void TForm1::N5Click() {
    if (refusedWhileTransferring()) return;
    const QString path = m_dialogs->saveFileNameAt(this, fileDialogStart(true));
    if (path.isEmpty()) return;
    const QString reason = io::saveConfigurationFile(m_configuration, path, &m_trace);
    if (!reason.isEmpty()) {
        m_prompts->message(
            tr("Не удалось сохранить файл %1\n%2").arg(fullName(path), reason).toStdString(), tr(" Ошибка").toStdString(),
            MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    const QString done = tr(" Сохранение данных завершено. Файл ");
    showOperation(done + fullName(path), int(done.size()));
    m_configuration.document.rememberFields();  // the file holds what the pages show
    m_tabMarks->updateAll();
    showLastFile(path);
}

// "Загрузить из файла". A file that cannot be read changes nothing; a file
// of another size than the image is no configuration the tool wrote, so it is
// loaded as far as it goes only when the user says so, and said so after.
void TForm1::N7Click() {
    if (refusedWhileTransferring()) return;
    if (!discardChangesConfirmed()) return;
    const QString path = m_dialogs->openFileNameAt(this, fileDialogStart(false));
    if (!path.isEmpty()) loadFile(path);
}

void TForm1::loadFile(const QString& path) {
    const QFileInfo file(path);
    if (file.isFile() && file.size() != static_cast<qint64>(image::kImageSize) &&
        !m_prompts->message(tr("Размер файла %1 байт, а не %2. Загрузить?")
                                .arg(file.size())
                                .arg(image::kImageSize)
                                .toStdString(),
                            tr(" Загрузка").toStdString(), MessageIcon::Exclamation, MessageButtons::OkCancel))
        return;
    const io::PrgLoadResult result = io::loadConfigurationFile(m_configuration, path);
    if (!result.ok) {
        m_prompts->message(
            tr("Не удалось открыть файл %1\n%2").arg(fullName(path), result.error).toStdString(), tr(" Ошибка").toStdString(),
            MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    const QString done = tr(" Загрузка данных завершена. Файл ");
    QString text = done + fullName(path);
    if (result.fileSize != static_cast<qint64>(image::kImageSize))
        text += tr(" (размер файла %1 байт)").arg(result.fileSize);
    showOperation(text, int(done.size()));
    showLastFile(path);
    emit configurationDecoded();
}

// "COM порт": the saved port is shown, the chosen one is put in force and
// written back to param2 (its other lines kept).
void TForm1::COM1Click() {
    if (m_sideFiles.loadPortLines()) applyPortSetting();
    const QString typed = m_dialogs->port(this, m_link->port());
    if (const std::optional<QString> port = SideFiles::parsePortLine(typed)) m_link->setPort(*port);
    StatusBar1->setPanelText(0, io::SerialPort::panelText(m_link->port()));  // as after an open
    const QString reason = m_sideFiles.savePortLine(m_link->port());
    if (!reason.isEmpty()) {
        // The port stays in force for this run only: say so where it lasts.
        showOperation(tr(" Порт не сохранён: не удалось записать файл param2"));
        m_prompts->message(tr("Не удалось сохранить файл param2\n%1").arg(reason).toStdString(), tr(" Ошибка").toStdString(),
                           MessageIcon::Exclamation, MessageButtons::Ok);
    }
}

// "Считать" -> "Настройки модуля".
void TForm1::N8Click() {
    if (refusedWhileTransferring()) return;
    if (!discardChangesConfirmed()) return;
    const std::optional<PasswordEntry> entry = m_dialogs->password(this, false);
    if (!entry) return;
    if (!m_link->remoteListening() && m_sideFiles.loadPortLines()) applyPortSetting();
    m_link->startRead(entry->current);
}

// "Записать" -> "Настройки модуля": everything but the event table.
void TForm1::N15Click() {
    if (refusedWhileTransferring()) return;
    // A half-typed server address cannot go out as shown.
    if (auto* settings = findChild<pages::SettingsPage*>(); settings && !settings->serversCanBeSent()) return;
    if (!m_link->ensureLink()) return;
    if (!m_prompts->message(tr("Записать настройки модуля ?").toStdString(), tr(" Запись").toStdString(),
                            MessageIcon::Information, MessageButtons::OkCancel))
        return;
    m_configuration.document.EncodeAll();
    m_configuration.document.queueWriteAllJobs();
    m_configuration.document.rememberWrittenByWriteAll();
    m_tabMarks->updateAll();
    m_link->startWrite();
}

// "Сменить пароль доступа". The current password must be typed with all five
// digits (status panel 1 says so when it was not); the new one is sent as its low 16 bits, and a text that is not a
// number counts as 0, as the module's other tools do.
void TForm1::N16Click() {
    if (refusedWhileTransferring()) return;
    if (!m_link->ensureLink()) return;
    const std::optional<PasswordEntry> entry = m_dialogs->password(this, true);
    if (!entry) return;
    showOperation(QString());
    if (entry->current.size() != kPasswordLength) {
        m_link->setReadPassword(0);  // nothing is sent, but the typed password no longer counts
        // Without a word the user would wait for an answer that never comes.
        showOperation(tr(" Пароль не изменён: текущий пароль вводится пятью цифрами, например 00000"));
        return;
    }
    bool ok = false;
    const int current = entry->current.toInt(&ok, 10);
    bool nextOk = false;
    const int next = entry->next.toInt(&nextOk, 10);
    m_link->sendPasswordChange(static_cast<std::uint16_t>(ok ? current & 0xFFFF : 0),
                               static_cast<std::uint16_t>(nextOk ? next & 0xFFFF : 0));
}

// "Сброс настроек прибора".
void TForm1::N22Click() {
    if (refusedWhileTransferring()) return;
    if (!m_link->ensureLink()) return;
    if (!m_prompts->message(tr("Сброс настроек модуля").toStdString(), tr(" Настройки").toStdString(),
                            MessageIcon::Exclamation, MessageButtons::OkCancel))
        return;
    m_link->sendFactoryReset();
}

// "Сброс" -> "Состояние разделов": sends the state byte ConfigImage holds.
void TForm1::N25Click() {
    if (refusedWhileTransferring()) return;
    m_configuration.workspace.QueueWrite(kPartitionStateOffset, 1);
    m_link->startWrite();
}

void TForm1::N18Click() { m_link->startListening(); }

void TForm1::N19Click() { m_link->stopListening(); }

}  // namespace kv6::app
