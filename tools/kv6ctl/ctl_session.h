#pragma once

#include <QEventLoop>
#include <QString>
#include <memory>

#include "ctl_console.h"
#include "ctl_options.h"
#include "io/module_link.h"
#include "pages/configuration.h"

namespace kv6::ctl {

// The serial port's failure boxes are the desktop tool's; kv6ctl says the
// failure in one line of its own instead.
class SilentPrompts final : public Prompts {
public:
    bool message(const std::string&, const std::string&, MessageIcon, MessageButtons) override { return true; }
};

// One module command's run: the configuration, the console and the link, and
// an event loop that runs until the command finishes or its time runs out.
class CtlSession {
public:
    // How long a remote command waits for a module to connect, unless --wait says otherwise.
    static constexpr int kDefaultWaitSeconds = 120;
    // How long a connected module may take to send its identification.
    static constexpr int kIdentificationWaitMs = 5000;
    // At 9600 baud a 13-byte request takes about 14 ms; this bounds a stuck line.
    static constexpr int kFlushMs = 2000;

    explicit CtlSession(const CtlOptions& options);
    // Every frame the engine sent goes out before the program ends.
    ~CtlSession();
    CtlSession(const CtlSession&) = delete;
    CtlSession& operator=(const CtlSession&) = delete;

    // Exit code of a port or socket that cannot be opened.
    static constexpr int kExitNoLink = 3;

    // Prepares the link the options name: the serial port opened, or the
    // module connected. Returns 0 when ready, else the exit code.
    [[nodiscard]] int prepareLink();
    // A ready link for a write or service command (remote listening, else the
    // serial port opened). Returns 0 when ready, else the exit code.
    [[nodiscard]] int ensureLink();

    // Runs the event loop until finish() or `timeoutMs`; a time-out prints
    // `timeoutText` (if any) and gives exit code 1.
    int run(int timeoutMs, const QString& timeoutText = {});
    void finish(int exitCode);

    CtlConsole console;
    pages::Configuration configuration;
    SilentPrompts portBoxes;
    io::ModuleLink link;

private:
    // Says in one line why the port did not open; returns kExitNoLink.
    int portFailed();

    const CtlOptions& m_options;
    QEventLoop m_loop;
    int m_exitCode = -1;
};

}  // namespace kv6::ctl
