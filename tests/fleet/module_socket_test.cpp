#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "fleet/loop_timer.h"
#include "fleet/module_loop.h"
#include "fleet/module_socket.h"
#include "support/core_app.h"

namespace kv6::fleet::test {

namespace {

bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// A loopback TCP connection: the server's end (non-blocking, for the socket
// under test) and the module's end (blocking, read and written by the test).
struct Pair {
    int server = -1;
    int module = -1;
    Pair() {
        const int listening = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::listen(listening, 1), 0);
        EXPECT_EQ(::getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length), 0);
        module = ::socket(AF_INET, SOCK_STREAM, 0);
        EXPECT_EQ(::connect(module, reinterpret_cast<sockaddr*>(&address), length), 0);
        server = ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        ::close(listening);
    }
    ~Pair() {
        if (module >= 0) ::close(module);
    }
    Pair(const Pair&) = delete;
    Pair& operator=(const Pair&) = delete;
    // What the module end can read now, without waiting.
    std::vector<std::uint8_t> drain() const {
        std::vector<std::uint8_t> got;
        std::uint8_t buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(module, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
    void send(const std::vector<std::uint8_t>& bytes) const {
        ASSERT_EQ(::send(module, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    }
};

class ModuleSocketTest : public ::testing::Test {
protected:
    QCoreApplication& app = kv6::test::coreApp();  // before the loop: its notifier needs the application
    ModuleLoop loop;
};

}  // namespace

TEST_F(ModuleSocketTest, WritesTheKernelCannotTakeAtOnceArriveWholeAndInOrder) {
    Pair pair;
    ModuleSocket socket(loop);
    int closes = 0;
    ASSERT_TRUE(socket.open(pair.server, [](std::span<const std::uint8_t>) {}, [&closes] { ++closes; }));
    // Far more than the socket buffers hold while the module reads nothing.
    std::vector<std::uint8_t> sent;
    for (int frame = 0; frame < 40000; ++frame) {
        std::vector<std::uint8_t> bytes(129);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(frame * 7 + static_cast<int>(i));
        socket.write(bytes);
        sent.insert(sent.end(), bytes.begin(), bytes.end());
    }
    std::vector<std::uint8_t> got;
    ASSERT_TRUE(waitFor([&] {
        const auto more = pair.drain();
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= sent.size();
    }));
    EXPECT_EQ(got, sent);
    EXPECT_EQ(closes, 0);
}

TEST_F(ModuleSocketTest, TheModulesBytesComeAndItsHangingUpIsToldOnce) {
    Pair pair;
    auto socket = std::make_unique<ModuleSocket>(loop);
    std::vector<std::uint8_t> got;
    int closes = 0;
    ASSERT_TRUE(socket->open(
        pair.server, [&got](std::span<const std::uint8_t> bytes) { got.insert(got.end(), bytes.begin(), bytes.end()); },
        [&] {
            ++closes;
            socket.reset();  // the owner lets go of it from its own callback
        }));
    pair.send({'#', '0', 'S', 'R', ' ', '1', '0', '0', '1'});
    ASSERT_TRUE(waitFor([&] { return got.size() == 9; }));
    pair.send({'~', 1, 2});
    ::close(std::exchange(pair.module, -1));
    ASSERT_TRUE(waitFor([&] { return closes == 1; }));
    EXPECT_EQ(got.size(), 12u);  // what came before the hang-up is handed on first
    EXPECT_EQ(socket, nullptr);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(closes, 1);
}

TEST_F(ModuleSocketTest, TheLoopRunsOnlyWhenASocketHasSomethingToDo) {
    const auto settle = [] {
        for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
    };
    settle();
    const std::uint64_t unused = loop.turns();
    settle();
    EXPECT_EQ(loop.turns(), unused);  // no socket: no turn

    Pair pair;
    {
        ModuleSocket socket(loop);
        ASSERT_TRUE(socket.open(pair.server, {}, {}));
        settle();
        const std::uint64_t idle = loop.turns();
        settle();
        EXPECT_EQ(loop.turns(), idle);  // an idle connection: no turn
    }
    settle();  // its close is done
    const std::uint64_t closed = loop.turns();
    settle();
    EXPECT_EQ(loop.turns(), closed);
}

TEST_F(ModuleSocketTest, AnAbortedConnectionEndsForTheModuleWithoutBeingToldBack) {
    Pair pair;
    auto socket = std::make_unique<ModuleSocket>(loop);
    int closes = 0;
    int reads = 0;
    ASSERT_TRUE(socket->open(
        pair.server,
        [&](std::span<const std::uint8_t>) {
            ++reads;
            socket.reset();  // closed from the data callback, as a refused module is
        },
        [&closes] { ++closes; }));
    pair.send({'x'});
    ASSERT_TRUE(waitFor([&] { return socket == nullptr; }));
    // The module sees the end: its read returns 0 (or the reset).
    std::uint8_t byte = 0;
    timeval wait{5, 0};
    ::setsockopt(pair.module, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    EXPECT_LE(::recv(pair.module, &byte, 1, 0), 0);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(closes, 0);

    // Writing to a socket that was aborted does nothing.
    Pair other;
    ModuleSocket kept(loop);
    ASSERT_TRUE(kept.open(other.server, {}, {}));
    kept.abort();
    kept.write(std::vector<std::uint8_t>{1, 2, 3});
    EXPECT_FALSE(kept.isOpen());
}

}  // namespace kv6::fleet::test

namespace kv6::fleet::test {

// The simulated modules call out on the same loop: a call that is answered
// carries bytes both ways, one that is refused says so once with the
// system's reason, and one given up before it was answered says nothing.
TEST_F(ModuleSocketTest, ACallOutConnectsOrSaysWhyAndAnAbortedOneStaysSilent) {
    const int listening = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listening, 4), 0);
    ASSERT_EQ(::getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length), 0);

    std::vector<int> statuses;
    std::vector<std::uint8_t> got;
    ModuleSocket caller(loop);
    ASSERT_TRUE(caller.connectTo(
        reinterpret_cast<const sockaddr&>(address), [&](int status) { statuses.push_back(status); },
        [&](std::span<const std::uint8_t> bytes) { got.insert(got.end(), bytes.begin(), bytes.end()); }, [] {}));
    ASSERT_TRUE(waitFor([&] { return !statuses.empty(); }));
    EXPECT_EQ(statuses, std::vector<int>{0});
    const int answered = ::accept(listening, nullptr, nullptr);
    ASSERT_GE(answered, 0);
    const std::vector<std::uint8_t> greeting{0x23, 0x30, 0x31};
    ASSERT_EQ(::send(answered, greeting.data(), greeting.size(), 0), 3);
    ASSERT_TRUE(waitFor([&] { return got.size() == 3; }));
    EXPECT_EQ(got, greeting);
    caller.write(std::vector<std::uint8_t>{0x7E, 0x01});
    std::uint8_t reply[2]{};
    ASSERT_EQ(::recv(answered, reply, sizeof reply, MSG_WAITALL), 2);
    EXPECT_EQ(reply[0], 0x7E);
    ::close(answered);

    // Nobody listens any more: the next call is refused.
    ::close(listening);
    statuses.clear();
    ModuleSocket refused(loop);
    ASSERT_TRUE(refused.connectTo(reinterpret_cast<const sockaddr&>(address),
                                  [&](int status) { statuses.push_back(status); }, [](auto) {}, [] {}));
    ASSERT_TRUE(waitFor([&] { return !statuses.empty(); }));
    EXPECT_EQ(statuses, std::vector<int>{-ECONNREFUSED});
    EXPECT_FALSE(refused.isOpen());

    statuses.clear();
    {
        ModuleSocket abandoned(loop);
        ASSERT_TRUE(abandoned.connectTo(reinterpret_cast<const sockaddr&>(address),
                                        [&](int status) { statuses.push_back(status); }, [](auto) {}, [] {}));
    }
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(statuses.empty());
}

// The simulator's thousands of answer delays run on these timers.
TEST_F(ModuleSocketTest, ALoopTimerFiresOnceNotBeforeItsTimeAndNotAtAllOnceStoppedOrGone) {
    QElapsedTimer clock;
    int fired = 0;
    qint64 firedAt = -1;
    LoopTimer timer(loop, [&] {
        ++fired;
        firedAt = clock.elapsed();
    });
    const auto runFor = [](int ms) { (void)waitFor([] { return false; }, ms); };
    // Armed outside a turn of the loop, long after the loop last ran.
    runFor(120);
    clock.start();
    timer.start(100);
    EXPECT_TRUE(timer.isActive());
    ASSERT_TRUE(waitFor([&] { return fired > 0; }));
    EXPECT_GE(firedAt, 99);  // libuv counts whole milliseconds
    EXPECT_FALSE(timer.isActive());
    runFor(150);
    EXPECT_EQ(fired, 1);

    // Restarted before it fires, it fires once, at the later time.
    clock.restart();
    timer.start(50);
    timer.start(150);
    ASSERT_TRUE(waitFor([&] { return fired == 2; }));
    EXPECT_GE(firedAt, 149);

    timer.start(30);
    timer.stop();
    EXPECT_FALSE(timer.isActive());
    runFor(100);
    EXPECT_EQ(fired, 2);

    // A timer may end itself from its own callback; one gone never fires.
    std::unique_ptr<LoopTimer> self;
    bool selfFired = false;
    self = std::make_unique<LoopTimer>(loop, [&] {
        selfFired = true;
        self.reset();
    });
    self->start(10);
    auto gone = std::make_unique<LoopTimer>(loop, [&] { ++fired; });
    gone->start(10);
    gone.reset();
    ASSERT_TRUE(waitFor([&] { return selfFired; }));
    runFor(60);
    EXPECT_EQ(self, nullptr);
    EXPECT_EQ(fired, 2);
}

}  // namespace kv6::fleet::test
