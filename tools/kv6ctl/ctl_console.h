#pragma once

#include <string>

#include "common/prompts.h"
#include "common/status_sink.h"
#include "common/trace_sink.h"

namespace kv6::ctl {

// The command line's status bar, message boxes and trace, all on stderr.
// Status panel 1 is printed as it changes: on a terminal as one line
// rewritten with '\r', otherwise one line per text.
class CtlConsole final : public StatusSink, public Prompts, public TraceSink {
public:
    explicit CtlConsole(bool trace);
    ~CtlConsole() override;

    void setStatus(StatusPanel panel, const std::string& text) override;
    // Prints the text and answers OK.
    bool message(const std::string& text, const std::string& caption, MessageIcon icon,
                 MessageButtons buttons) override;
    void trace(TraceChannel channel, const std::string& line) override;
    [[nodiscard]] bool tracing(TraceChannel) const override { return m_trace; }

    // Ends a progress line still open on a terminal.
    void endLine();
    [[nodiscard]] const std::string& lastStatus() const { return m_last; }

private:
    bool m_trace;
    bool m_terminal;
    bool m_lineOpen = false;
    std::string m_last;
};

}  // namespace kv6::ctl
