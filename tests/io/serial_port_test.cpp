#include <gtest/gtest.h>

#include "io/serial_port.h"
#include "serial_pty.h"

using namespace kv6::io;
using namespace kv6::io::test;

namespace {

struct Lines final : kv6::TraceSink {
    std::vector<std::string> lines;
    void trace(kv6::TraceChannel, const std::string& line) override { lines.push_back(line); }
};

}  // namespace

TEST(SerialPortNames, NumbersAndPaths) {
    EXPECT_EQ(SerialPort::deviceFor("1"), "/dev/ttyS0");
    EXPECT_EQ(SerialPort::deviceFor("12"), "/dev/ttyS11");
    EXPECT_EQ(SerialPort::deviceFor("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialPort::panelText("12"), "COM12");
    EXPECT_EQ(SerialPort::panelText("/dev/ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(SerialPort::panelText("/dev/pts/3"), "pts/3");
}

TEST(SerialPortOpen, OpensAPseudoTerminalTwiceAndCarriesBytes) {
    ensureApp();
    PtyMaster master;
    ASSERT_FALSE(master.slavePath().isEmpty());
    ScriptedPrompts prompts;
    Lines trace;
    SerialPort port(prompts, trace);
    ASSERT_TRUE(port.OpenPort(master.slavePath())) << (prompts.shown.empty() ? "" : prompts.shown[0].text);
    ASSERT_TRUE(port.OpenPort(master.slavePath())) << (prompts.shown.empty() ? "" : prompts.shown[0].text);
    EXPECT_TRUE(prompts.shown.empty());
    ASSERT_EQ(trace.lines.size(), 2u);
    EXPECT_EQ(trace.lines[0], master.slavePath().toStdString() + " for Vavovov1 ");

    const std::uint8_t frame[] = {'I', 'P', '~', 'K', 'I', 'L', 'L', '=', '\r'};
    port.write(frame);
    QByteArray atMaster;
    EXPECT_TRUE(processUntil([&] { return (atMaster += master.readAvailable()).size() >= 9; }, 3000));
    EXPECT_EQ(atMaster, QByteArray("IP~KILL=\r"));

    QByteArray atPort;
    master.write("KILL\r");
    EXPECT_TRUE(processUntil([&] { return (atPort += port.readAll()).contains("KILL"); }, 3000));
}

TEST(SerialPortOpen, UnopenableDeviceSaysInvalidHandleValueWithTheReason) {
    ensureApp();
    ScriptedPrompts prompts;
    Lines trace;
    SerialPort port(prompts, trace);
    EXPECT_FALSE(port.OpenPort("/nonexistent/ttyKV6"));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text.rfind("Invalid Handle Value\n/nonexistent/ttyKV6: ", 0), 0u) << prompts.shown[0].text;
    EXPECT_GT(prompts.shown[0].text.size(), std::string("Invalid Handle Value\n/nonexistent/ttyKV6: ").size());
    EXPECT_EQ(prompts.shown[0].caption, "Vavovov1");
    EXPECT_EQ(prompts.shown[0].icon, kv6::MessageIcon::None);
    // The trace line is written whether or not the open succeeded.
    EXPECT_EQ(trace.lines, std::vector<std::string>{"/nonexistent/ttyKV6 for Vavovov1 "});
    EXPECT_FALSE(port.isOpen());
}
