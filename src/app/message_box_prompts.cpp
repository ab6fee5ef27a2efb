#include "app/message_box_prompts.h"
#include "io/core_text.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace kv6::app {

namespace {

QString translated(const std::string& text) { return io::coreText(text); }

QMessageBox::Icon toQt(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information: return QMessageBox::Information;
        case MessageIcon::Exclamation: return QMessageBox::Warning;
        case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

bool MessageBoxPrompts::message(const std::string& text, const std::string& caption, MessageIcon icon,
                                MessageButtons buttons) {
    if (buttons == MessageButtons::YesNo) {
        // A question that discards work: Enter keeps it.
        QMessageBox box(toQt(icon), translated(caption), translated(text), QMessageBox::Yes | QMessageBox::No,
                        m_owner.data());
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
    const QMessageBox::StandardButtons choice =
        buttons == MessageButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok;
    QMessageBox box(toQt(icon), translated(caption), translated(text), choice, m_owner.data());
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

}  // namespace kv6::app
