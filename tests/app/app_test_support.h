#pragma once

#include <QApplication>
#include <QWidget>
#include <QByteArray>
#include <QFile>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QThread>
#include <QVariant>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/dialog_provider.h"
#include "app/link_control.h"
#include "app/ui_translation.h"
#include "common/prompts.h"
#include "support/scripted_prompts.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace kv6::app::test {

// The translators of the test run, from the build's translations folder.
inline UiTranslation& testTranslation() {
    static auto* translation = new UiTranslation({QStringLiteral(KV6_TRANSLATIONS_DIR)});
    return *translation;
}

// One QApplication for the whole test run (offscreen under ctest), in
// Russian whatever the system's language: the tests compare the texts.
inline QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down in static destructors crashes.
    static QApplication* app = [] {
        auto* created = new QApplication(argc, argv);
        testTranslation().apply(UiLanguage::Russian);
        return created;
    }();
    return *app;
}

// The application in another language while it lives; Russian again after.
// Texts are made when a widget is built: build the window inside the scope.
class LanguageScope {
public:
    explicit LanguageScope(UiLanguage language) {
        qtApp();
        m_missing = testTranslation().apply(language);
    }
    ~LanguageScope() { testTranslation().apply(UiLanguage::Russian); }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;

    // The .qm files that were not found: a test in English fails on them.
    [[nodiscard]] const QStringList& missing() const { return m_missing; }

private:
    QStringList m_missing;
};

using kv6::test::ScriptedPrompts;

class ScriptedDialogs final : public DialogProvider {
public:
    QString openFileName(QWidget*) override { return openName; }
    QString saveFileName(QWidget*) override { return saveName; }
    QString openFileNameAt(QWidget* parent, const QString& start) override {
        openStart = start;
        return openFileName(parent);
    }
    QString saveFileNameAt(QWidget* parent, const QString& start) override {
        saveStart = start;
        return saveFileName(parent);
    }
    std::optional<PasswordEntry> password(QWidget*, bool withNew) override {
        passwordShownWithNew.push_back(withNew);
        return passwordAnswer;
    }
    QString port(QWidget*, const QString& current) override {
        portShownWith = current;
        return portAnswer;
    }
    QString openName;
    QString saveName;
    QString openStart;  // where the last file dialog started
    QString saveStart;
    std::optional<PasswordEntry> passwordAnswer;
    std::vector<bool> passwordShownWithNew;
    QString portAnswer;
    QString portShownWith;
};

// Records what the window asked of the link.
class FakeLink final : public LinkControl {
public:
    bool ensureLink() override {
        ++ensureCalls;
        return linkReady;
    }
    void startWrite() override { ++writeStarts; }
    void setPort(const QString& numberOrPath) override { currentPort = numberOrPath; }
    QString port() const override { return currentPort; }
    bool remoteListening() const override { return listening; }
    bool readActive() const override { return reading; }
    void startRead(const QString& passwordText) override { readPasswords << passwordText; }
    void sendPasswordChange(std::uint16_t current, std::uint16_t next) override {
        passwordChanges.push_back({current, next});
    }
    void setReadPassword(std::uint16_t password) override { readPassword = password; }
    void sendFactoryReset() override { ++resets; }
    void startListening() override { listening = true; }
    void stopListening() override { listening = false; }
    void setPacing(link::Pacing chosen) override { pacing = chosen; }

    bool linkReady = true;
    bool listening = false;
    bool reading = false;
    link::Pacing pacing = link::Pacing::Module;
    int ensureCalls = 0;
    int writeStarts = 0;
    int resets = 0;
    std::optional<std::uint16_t> readPassword;
    QString currentPort = QStringLiteral("1");
    QStringList readPasswords;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> passwordChanges;
};

// Records the emissions of one signal (the arguments of a bool signal).
class SignalRecorder {
public:
    template <typename Sender, typename... Args>
    SignalRecorder(Sender* sender, void (Sender::*signal)(Args...)) {
        QObject::connect(sender, signal, &m_context, [this](Args... args) {
            values.push_back(QVariantList{QVariant::fromValue(args)...});
        });
    }
    [[nodiscard]] int count() const { return static_cast<int>(values.size()); }
    std::vector<QVariantList> values;

private:
    QObject m_context;
};

// Types text or presses one key into a widget, as the keyboard would.
inline void typeText(QWidget* target, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
    }
}
inline void pressKey(QWidget* target, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// Runs the event loop until `done` holds; false after `timeoutMs`.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return true;
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace kv6::app::test
