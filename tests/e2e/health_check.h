#pragma once

// kv6d's health check asked as HAProxy asks it: GET /healthz on the operator
// API's port over a bare TCP connection, no key, the answer read up to its
// Content-Length.

#include <QElapsedTimer>
#include <algorithm>
#include <QHostAddress>
#include <QTcpSocket>

namespace kv6::e2e {

struct HealthAnswer {
    int status = 0;  // 0: no whole answer within the time
    QByteArray head;  // the status line and the headers
    QByteArray body;
};

class HealthCheck {
public:
    // Connects and sends the request; false when the port takes no connection within `ms`.
    bool send(const QHostAddress& address, quint16 port, int ms = 3000) {
        m_socket.connectToHost(address, port);
        if (!m_socket.waitForConnected(ms)) return false;
        m_socket.write("GET /healthz HTTP/1.1\r\nHost: kv6d\r\nConnection: close\r\n\r\n");
        return m_socket.waitForBytesWritten(ms);
    }
    // The answer, once whole (or what came within `ms`, with status 0).
    HealthAnswer read(int ms = 3000) {
        QElapsedTimer clock;
        clock.start();
        QByteArray data;
        HealthAnswer answer;
        while (true) {
            data += m_socket.readAll();
            if (const qsizetype end = data.indexOf("\r\n\r\n"); end >= 0) {
                answer.head = data.left(end + 2);
                answer.body = data.mid(end + 4);
                if (answer.body.size() >= contentLength(answer.head)) {
                    answer.status = answer.head.mid(9, 3).toInt();
                    return answer;
                }
            }
            if (clock.elapsed() >= ms || m_socket.state() != QAbstractSocket::ConnectedState) break;
            m_socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, ms - clock.elapsed())));
        }
        data += m_socket.readAll();
        answer.head = data;
        return answer;
    }

private:
    static qsizetype contentLength(const QByteArray& head) {
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith("content-length:")) return line.mid(15).trimmed().toLongLong();
        return 0;
    }

    QTcpSocket m_socket;
};

inline HealthAnswer askHealth(const QHostAddress& address, quint16 port, int ms = 3000) {
    HealthCheck check;
    if (!check.send(address, port, ms)) return {};
    return check.read(ms);
}

inline HealthAnswer askHealth(quint16 port, int ms = 3000) { return askHealth(QHostAddress::LocalHost, port, ms); }

}  // namespace kv6::e2e
