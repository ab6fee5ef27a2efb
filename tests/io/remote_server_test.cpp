#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <map>

#include "image/workspace.h"
#include "io/remote_server.h"
#include "remote/remote_session.h"
#include "support/core_app.h"

using namespace kv6;

namespace {

QCoreApplication& remoteTestApp() {
    return kv6::test::coreApp();
}

bool waitFor(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

struct Panels final : StatusSink {
    std::map<StatusPanel, std::string> text;
    void setStatus(StatusPanel panel, const std::string& value) override { text[panel] = value; }
};

class RemoteServerTest : public ::testing::Test {
protected:
    RemoteServerTest() { remoteTestApp(); }

    // Listens on a free loopback port and connects one client.
    void connectClient(QTcpSocket& client) {
        ASSERT_TRUE(server.listen(0)) << server.errorString().toStdString();
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        ASSERT_TRUE(waitFor([&] { return session.connected(); }));
    }

    image::Workspace ws;
    Panels panels;
    NullTraceSink trace;
    remote::RemoteSessionListener listener;
    remote::RemoteSession session{ws, panels, trace, listener};
    io::RemoteServer server{session};
};

}  // namespace

TEST_F(RemoteServerTest, ModuleGetsTheGreetingAndIsIdentified) {
    QTcpSocket client;
    connectClient(client);
    ASSERT_TRUE(waitFor([&] { return client.bytesAvailable() >= 24; }));
    const QByteArray greeting = client.readAll();
    ASSERT_EQ(greeting.size(), 24);
    EXPECT_EQ(greeting.left(20), QByteArray(20, '\0'));
    EXPECT_EQ(panels.text[StatusPanel::Remote], "Удалённый доступ -Соединено-");

    client.write("ADM#xx4321#");
    EXPECT_TRUE(waitFor([&] { return panels.text[StatusPanel::Remote] == "Удалённый доступ. Объект 4321"; }));

    // Commands reach the module as 129-byte frames carrying its number.
    ASSERT_TRUE(session.sendReset());
    ASSERT_TRUE(waitFor([&] { return client.bytesAvailable() >= 129; }));
    const QByteArray frame = client.readAll();
    ASSERT_EQ(frame.size(), 129);
    EXPECT_EQ(frame[0], '~');
    EXPECT_EQ(static_cast<unsigned char>(frame[1]), 0x43);
    EXPECT_EQ(frame[3], 'K');

    client.disconnectFromHost();
    EXPECT_TRUE(waitFor([&] { return !session.connected(); }));
    EXPECT_EQ(panels.text[StatusPanel::Remote], "Удалённый доступ. Разъеденён");
    EXPECT_TRUE(session.listening());
}

TEST_F(RemoteServerTest, ReadReplySplitAcrossSegmentsIsStored) {
    QTcpSocket client;
    connectClient(client);
    QByteArray reply(136, '\0');
    reply[0] = '~';
    reply[3] = 'R';
    reply[5] = static_cast<char>(0x80);
    for (int i = 0; i < 128; ++i) reply[8 + i] = static_cast<char>(i + 1);
    client.write(reply.left(50));
    client.flush();
    ASSERT_TRUE(waitFor([&] { return session.pendingBytes(1) > 0; }));
    client.write(reply.mid(50));
    EXPECT_TRUE(waitFor([&] { return ws.ReceivedImage[255] == 128; }));
    EXPECT_EQ(ws.ReceivedImage[128], 1);
}

TEST_F(RemoteServerTest, CloseDropsTheModule) {
    QTcpSocket client;
    connectClient(client);
    server.close();
    EXPECT_FALSE(server.isListening());
    EXPECT_FALSE(session.listening());
    EXPECT_TRUE(waitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(RemoteServerTest, PortInUseReportsTheReason) {
    QTcpServer blocker;
    ASSERT_TRUE(blocker.listen(QHostAddress::Any, 0));
    EXPECT_FALSE(server.listen(blocker.serverPort()));
    EXPECT_FALSE(server.errorString().isEmpty());
    EXPECT_FALSE(session.listening());
    EXPECT_EQ(panels.text[StatusPanel::Operation], server.errorString().toStdString());
    // Nothing blinks while idle.
    session.Timer4Timer();
    EXPECT_EQ(panels.text[StatusPanel::Remote], "");
}
