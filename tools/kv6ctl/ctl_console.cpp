#include "ctl_console.h"

#include <unistd.h>

#include <cstdio>

namespace kv6::ctl {

CtlConsole::CtlConsole(bool trace) : m_trace(trace), m_terminal(::isatty(STDERR_FILENO) == 1) {}

CtlConsole::~CtlConsole() { endLine(); }

void CtlConsole::endLine() {
    if (!m_lineOpen) return;
    std::fputc('\n', stderr);
    m_lineOpen = false;
}

void CtlConsole::setStatus(StatusPanel panel, const std::string& text) {
    if (panel == StatusPanel::Remote) {
        // Who connected matters to a remote run; the blink of the waiting text does not.
        if (text.rfind("Удалённый доступ. Объект ", 0) == 0) {
            endLine();
            std::fprintf(stderr, "%s\n", text.c_str());
        }
        return;
    }
    if (panel != StatusPanel::Operation || text == m_last) return;
    m_last = text;
    if (text.empty()) return;
    if (m_terminal) {
        std::fprintf(stderr, "\r%s\033[K", text.c_str());
        m_lineOpen = true;
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::fflush(stderr);
}

bool CtlConsole::message(const std::string& text, const std::string& caption, MessageIcon, MessageButtons) {
    endLine();
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return true;
}

void CtlConsole::trace(TraceChannel channel, const std::string& line) {
    if (!m_trace) return;
    endLine();
    const char* name = channel == TraceChannel::Link ? "link" : channel == TraceChannel::Remote ? "remote" : "image";
    std::fprintf(stderr, "[%s] %s\n", name, line.c_str());
}

}  // namespace kv6::ctl
