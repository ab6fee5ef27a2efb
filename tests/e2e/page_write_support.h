#pragma once

// What the page-button tests against the simulated module share: a console
// that answers every question with OK, the link the page buttons write
// through, and a wait for one of the link's signals.
#include <QEventLoop>
#include <QTimer>
#include <initializer_list>

#include "common/prompts.h"
#include "common/status_sink.h"
#include "common/trace_sink.h"
#include "io/module_link.h"
#include "kv6ctl_serial_fixture.h"
#include "pages/configuration.h"
#include "pages/common/page_write_button.h"
#include "pages/common/write_link.h"

namespace kv6::e2e {

class Console final : public StatusSink, public Prompts, public TraceSink {
public:
    void setStatus(StatusPanel panel, const std::string& text) override {
        if (panel == StatusPanel::Operation) last = text;
    }
    bool message(const std::string&, const std::string&, MessageIcon, MessageButtons) override { return true; }
    void trace(TraceChannel, const std::string&) override {}
    std::string last;
};

class Link final : public pages::WriteLink {
public:
    explicit Link(io::ModuleLink& link) : m_link(link) {}
    bool ensureLink() override { return m_link.ensureLink(); }
    void startWrite() override { m_link.startWrite(); }

private:
    io::ModuleLink& m_link;
};

template <typename Signal>
bool waitFor(io::ModuleLink& link, Signal signal, int timeoutMs) {
    QEventLoop loop;
    bool fired = false;
    QObject::connect(&link, signal, &loop, [&] {
        fired = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return fired;
}

// One run against kv6sim: read the module, let the test edit, press page
// buttons; the simulator saves its memory to `savePath` when it stops.
struct SimulatedModuleRun {
    explicit SimulatedModuleRun(const QString& savePath) : sim({"--save", savePath}) {
        link.setPort(sim.device());
    }

    // Reads the module; `before` then holds the 2000 bytes read.
    [[nodiscard]] bool read() {
        link.startRead(QStringLiteral("0"));
        if (!waitFor(link, &io::ModuleLink::readCompleted, 20000)) return false;
        before = QByteArray(reinterpret_cast<const char*>(configuration.workspace.ConfigImage.data()), 2000);
        return true;
    }
    // The page's button with its question answered OK.
    [[nodiscard]] pages::PageWriteButton::Outcome press(image::PageModel& page) {
        return pages::PageWriteButton(page, configuration.workspace, console, adapter).click();
    }
    [[nodiscard]] bool written() {
        return waitFor(link, &io::ModuleLink::writeFinished, 60000) && console.last == " Запись данных завершена";
    }

    SerialSimulator sim;
    Console console;
    pages::Configuration configuration{&console};
    io::ModuleLink link{configuration, console, console, console};
    Link adapter{link};
    QByteArray before;
};

struct ByteRange {
    int address;
    int length;
};

// How many of the first 2000 bytes changed outside `ranges`.
inline int changedOutside(const QByteArray& before, const QByteArray& after, std::initializer_list<ByteRange> ranges) {
    int changed = 0;
    for (int i = 0; i < 2000 && i < before.size() && i < after.size(); ++i) {
        bool inside = false;
        for (const ByteRange& r : ranges) inside = inside || (i >= r.address && i < r.address + r.length);
        if (!inside && before[i] != after[i]) ++changed;
    }
    return changed;
}

}  // namespace kv6::e2e
