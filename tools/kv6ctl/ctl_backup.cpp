#include "ctl_backup.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

#include "ctl_session.h"

#include "io/backup_store.h"
#include "link/engine_texts.h"
#include "pages/configuration.h"

namespace kv6::ctl {

int readBytes(bool remote) { return remote ? 1920 : 2000; }

void keepBackup(const CtlOptions& options, const image::Image& image) {
    if (options.noBackup) return;
    // The object number as the "Объект" page decodes it.
    pages::Configuration decoded;
    decoded.workspace.ReceivedImage = image;
    decoded.document.DecodeImage(image::DecodeSource::FileLoad);
    QString objectNumber;
    if (const image::PageModel* object = decoded.document.page("object"))
        for (const image::PageField& field : object->fields())
            if (field.key == "objectNumber") objectNumber = QString::fromStdString(field.value);

    io::BackupStore store;
    QString error;
    if (store.keep(image, objectNumber, QDateTime::currentDateTime(), &error).isEmpty())
        std::fprintf(stderr, "kv6ctl: warning: no backup kept in %s: %s\n", qPrintable(store.folder()),
                     qPrintable(error));
}

namespace {

// A completed read still has its last request (address 2000) answered: the
// command's own frame goes out once that reply has passed, so that the module
// takes it and the reply is not mistaken for its answer.
void waitForQuietLine(io::ModuleLink& link) {
    constexpr int kStepMs = 100;
    constexpr int kQuietSteps = 3;
    constexpr int kMaxSteps = 30;
    quint64 received = link.lineCounts().received;
    for (int step = 0, quiet = 0; step < kMaxSteps && quiet < kQuietSteps; ++step) {
        QEventLoop pause;
        QTimer::singleShot(kStepMs, &pause, &QEventLoop::quit);
        pause.exec();
        const quint64 now = link.lineCounts().received;
        quiet = now == received ? quiet + 1 : 0;
        received = now;
    }
}

}  // namespace

FirstRead backupModule(CtlSession& session, const CtlOptions& options, const QString& password, bool alwaysRead) {
    if (options.noBackup && !alwaysRead) return FirstRead::Skipped;
    constexpr int kReadGuardMs = 120'000;
    QEventLoop loop;
    bool read = false;
    bool mismatch = false;
    const auto done = QObject::connect(&session.link, &io::ModuleLink::readCompleted, &loop, [&] {
        read = true;
        loop.quit();
    });
    const auto failed = QObject::connect(&session.link, &io::ModuleLink::readFailed, &loop, [&](const QString& reason) {
        mismatch = reason.toStdString() == link::texts::kPasswordMismatch;
        loop.quit();
    });
    session.link.startRead(password);
    if (session.link.readActive()) {
        QTimer::singleShot(kReadGuardMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QObject::disconnect(done);
    QObject::disconnect(failed);
    waitForQuietLine(session.link);
    session.console.endLine();
    if (read) {
        keepBackup(options, session.configuration.workspace.ReceivedImage);
        return FirstRead::Done;
    }
    if (!options.noBackup) std::fputs("kv6ctl: warning: the module could not be read first; no backup kept\n", stderr);
    return mismatch ? FirstRead::PasswordMismatch : FirstRead::Failed;
}

}  // namespace kv6::ctl
