#pragma once

// What the page-button tests against the simulated module share: a console
// that answers every question with OK, the link the page buttons write
// through, and a wait for one of the link's signals.
#include <QEventLoop>
#include <QTimer>

#include "common/prompts.h"
#include "common/status_sink.h"
#include "common/trace_sink.h"
#include "io/module_link.h"
#include "pages/write_link.h"

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

}  // namespace kv6::e2e
