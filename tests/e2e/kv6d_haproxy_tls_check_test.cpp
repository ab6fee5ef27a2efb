// HAProxy's health check of a kv6d whose operator API speaks HTTPS: the
// sample configuration with its server line as the README gives it for TLS,
// against one kv6d on SQLite.
#include <gtest/gtest.h>

#include <QFile>
#include <QTcpServer>

#include "kv6d_api_fixture.h"

namespace kv6::e2e {

namespace {

class HaproxyTlsCheck : public Kv6dApi {
protected:
    ~HaproxyTlsCheck() override { stopProcess(haproxy); }

    // A CA of the test's own and a certificate for kv6d-1.example and 127.0.0.1 signed by it.
    bool makeCertificates() {
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        const QList<QStringList> steps = {
            QStringList{"req", "-x509"} + ec + QStringList{"-days", "2", "-subj", "/CN=kv6d API CA", "-keyout", "ca.key", "-out", "ca.crt"},
            QStringList{"req"} + ec +
                QStringList{"-subj", "/CN=kv6d-1.example", "-addext", "subjectAltName=DNS:kv6d-1.example,IP:127.0.0.1",
                            "-keyout", "api.key", "-out", "api.csr"},
            {"x509", "-req", "-in", "api.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial", "-days", "2",
             "-copy_extensions", "copy", "-out", "api.crt"},
        };
        for (const QStringList& args : steps) {
            QProcess openssl;
            openssl.setWorkingDirectory(dir.path());
            openssl.setProcessChannelMode(QProcess::MergedChannels);
            openssl.start(QStringLiteral("openssl"), args);
            if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
                ADD_FAILURE() << "openssl " << args.join(' ').toStdString() << ": " << openssl.readAll().toStdString();
                return false;
            }
        }
        return true;
    }
    // HAProxy on the sample configuration, server 1's check over TLS with
    // `tls` added to its line; servers 2 and 3 absent. Returns its log file.
    QString startHaproxy(const QString& tls) {
        QString config = QString::fromUtf8(readFile(QStringLiteral(KV6_SOURCE_DIR "/deploy/haproxy.cfg")));
        const QString line = QStringLiteral(R"(server kv6d-1 "${KV6D_1}" check port "${KV6D_1_API_PORT}")");
        EXPECT_TRUE(config.contains(line + "\n")) << "the sample's server line changed";
        config.replace(line + "\n", line + " " + tls + "\n");
        const QString file = dir.filePath(QStringLiteral("haproxy.cfg"));
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(config.toUtf8());
        out.close();
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        frontPort = probe.serverPort();
        probe.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KV6_LISTEN"), QStringLiteral("127.0.0.1:%1").arg(frontPort));
        environment.insert(QStringLiteral("KV6_LOG"), QStringLiteral("stderr"));
        environment.insert(QStringLiteral("KV6_LOG_FORMAT"), QStringLiteral("raw"));
        environment.insert(QStringLiteral("KV6D_1"), "127.0.0.1:" + port);
        environment.insert(QStringLiteral("KV6D_1_API_PORT"), apiPort);
        for (const char* absent : {"2", "3"}) {
            environment.insert(QStringLiteral("KV6D_%1").arg(QLatin1String(absent)), QStringLiteral("127.0.0.1:1"));
            environment.insert(QStringLiteral("KV6D_%1_API_PORT").arg(QLatin1String(absent)), QStringLiteral("1"));
        }
        const QString log = dir.filePath(QStringLiteral("haproxy-%1.log").arg(++m_runs));
        stopProcess(haproxy);
        haproxy.setProcessEnvironment(environment);
        haproxy.setProcessChannelMode(QProcess::MergedChannels);
        haproxy.setStandardOutputFile(log);
        haproxy.start(QStringLiteral("haproxy"), {"-db", "-f", file});
        EXPECT_TRUE(haproxy.waitForStarted(5000)) << "haproxy: run scripts/install-deps";
        return log;
    }
    // Waits (at most `ms`) until HAProxy's log holds `needle`.
    static bool logged(const QString& log, const QByteArray& needle, int ms) {
        QElapsedTimer clock;
        clock.start();
        while (!readFile(log).contains(needle) && clock.elapsed() < ms) QThread::msleep(100);
        return readFile(log).contains(needle);
    }

    QProcess haproxy;
    quint16 frontPort = 0;
    int m_runs = 0;
};

}  // namespace

TEST_F(HaproxyTlsCheck, TheCheckOfAnHttpsApiPassesWithItsCaAndNameAndFailsWithAnotherName) {
    ASSERT_TRUE(makeCertificates());
    startApiServer({"--tls-cert", dir.filePath("api.crt"), "--tls-key", dir.filePath("api.key"), "--proxy-from",
                    "127.0.0.1"});
    ASSERT_TRUE(apiUrl.startsWith(QStringLiteral("https://"))) << apiUrl.toStdString();
    const QString ca = dir.filePath(QStringLiteral("ca.crt"));

    // Checked over TLS and found up: a call through HAProxy reaches kv6d.
    QString log = startHaproxy("check-ssl verify required ca-file " + ca + " verifyhost kv6d-1.example");
    ASSERT_TRUE(logged(log, "Server kv6d/kv6d-3 is DOWN", 15000)) << readFile(log).toStdString();
    QThread::msleep(1500);  // several checks of server 1 by now
    QTcpSocket call;
    call.connectToHost(QHostAddress::LocalHost, frontPort);
    ASSERT_TRUE(call.waitForConnected(5000));
    EXPECT_TRUE(call.waitForReadyRead(10000)) << "no greeting through HAProxy: " << readFile(log).toStdString();
    call.abort();
    EXPECT_FALSE(readFile(log).contains("Server kv6d/kv6d-1 is DOWN")) << readFile(log).toStdString();

    // The same certificate for a name it does not carry: the check fails, and so does the server.
    log = startHaproxy("check-ssl verify required ca-file " + ca + " verifyhost kv6d-2.example");
    EXPECT_TRUE(logged(log, "Server kv6d/kv6d-1 is DOWN", 15000)) << readFile(log).toStdString();
}

}  // namespace kv6::e2e
