#include <gtest/gtest.h>

#include "io/serial_port.h"
#include "serial_pty.h"

#include <termios.h>

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
    // A path whole: "ttyUSB" cut off, or "3" alone for /dev/pts/3, says little.
    EXPECT_EQ(SerialPort::panelText("/dev/ttyUSB7"), "/dev/ttyUSB7");
    EXPECT_EQ(SerialPort::panelText(" /dev/pts/3 "), "/dev/pts/3");
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

// 9600 baud, 8 data bits, no parity, one stop bit, no flow control, whatever
// the line was set to before.
TEST(SerialPortOpen, SetsTheLineTo9600EightNoneOneWithoutFlowControl) {
    ensureApp();
    PtyMaster master;
    ASSERT_FALSE(master.slavePath().isEmpty());
    const int line = ::open(master.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(line, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(line, &before), 0);
    cfsetispeed(&before, B19200);
    cfsetospeed(&before, B19200);
    before.c_cflag = (before.c_cflag & ~tcflag_t{CSIZE}) | CS7 | PARENB | CSTOPB | CRTSCTS;
    before.c_iflag |= IXON | IXOFF;
    ASSERT_EQ(tcsetattr(line, TCSANOW, &before), 0);

    ScriptedPrompts prompts;
    Lines trace;
    SerialPort port(prompts, trace);
    ASSERT_TRUE(port.OpenPort(master.slavePath()));
    termios after{};
    ASSERT_EQ(tcgetattr(line, &after), 0);
    ::close(line);
    EXPECT_EQ(cfgetospeed(&after), speed_t{B9600});
    EXPECT_EQ(cfgetispeed(&after), speed_t{B9600});
    EXPECT_EQ(after.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(after.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t{0});
    EXPECT_EQ(after.c_iflag & (IXON | IXOFF), tcflag_t{0});
}
