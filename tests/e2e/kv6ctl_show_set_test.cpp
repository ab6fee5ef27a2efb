#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <random>

#include "io/prg_file.h"
#include "kv6ctl_serial_fixture.h"
#include "pages/configuration.h"

using kv6::e2e::CtlResult;
using kv6::e2e::readFile;

namespace {

CtlResult kv6ctl(const QStringList& args) { return kv6::e2e::runCtl(args, 30000); }

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

class Kv6ctlShowSetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { kv6::e2e::e2eApp(); }
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath("object.prg");
    }
    QTemporaryDir m_dir;
    QString m_file;
};

TEST_F(Kv6ctlShowSetTest, SetThenShowGivesTheValuesBackInTextAndJson) {
    writeFile(m_file, QByteArray(4096, '\0'));
    const CtlResult set = kv6ctl({"set", m_file, "object.objectNumber=123456", "object.receiverNumber=AB12",
                            "object.lineNumber=0001", "object.ipAddress=10.0.0.1", "object.apn=",
                            "object.attemptsIp1=3", "object.attemptsIp2=15", "object.pollTimeMinutes=300",
                            "object.pinEnabled=true", "object.pin=12", "object.gprsChannelOff=1"});
    ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();

    const QByteArray bytes = readFile(m_file);
    ASSERT_EQ(bytes.size(), 4096);
    EXPECT_EQ(bytes.left(14), "123456AB120001");
    EXPECT_EQ(bytes.mid(119, 15), "010.000.000.001");
    EXPECT_EQ(bytes.mid(134, 41), QByteArray(41, '\0'));  // already shown empty: left as it is
    EXPECT_EQ(quint8(bytes[763]), 0xE2);
    EXPECT_EQ(quint8(bytes[1579]), 0x2C);
    EXPECT_EQ(quint8(bytes[1580]), 0x01);
    EXPECT_EQ(quint8(bytes[1022]), 0x00);  // two digits: no PIN, which the image already shows
    EXPECT_EQ(quint8(bytes[1508]) & 0x05, 0x01);

    const CtlResult show = kv6ctl({"show", m_file});
    ASSERT_EQ(show.exitCode, 0) << show.err.toStdString();
    const QStringList lines = show.out.split('\n');
    for (const char* expected :
         {"object.objectNumber = 123456", "object.receiverNumber = AB12", "object.lineNumber = 0001",
          "object.ipAddress = 010.000.000.001", "object.apn = ", "object.attemptsIp1 = 3", "object.attemptsIp2 = 15",
          "object.pollTimeMinutes = 300", "object.pinEnabled = false", "object.pin = ", "object.gprsChannelOff = true"})
        EXPECT_TRUE(lines.contains(QString::fromUtf8(expected))) << expected;

    const CtlResult json = kv6ctl({"show", "--json", m_file});
    ASSERT_EQ(json.exitCode, 0);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    const QJsonObject object = doc.object().value("object").toObject();
    EXPECT_EQ(object.value("objectNumber").toString(), "123456");
    EXPECT_EQ(object.value("attemptsIp2").toInt(), 15);  // a number, typed
    EXPECT_EQ(object.value("gprsChannelOff").toBool(false), true);
    EXPECT_EQ(object.value("ipAddress").toString(), "010.000.000.001");
}

TEST_F(Kv6ctlShowSetTest, RefusedValueWritesNothing) {
    QByteArray original(4096, '\0');
    std::mt19937 rng(5);
    for (auto& b : original) b = char(rng());
    writeFile(m_file, original);
    for (const QStringList& args : {QStringList{"object.attemptsIp1=16"}, QStringList{"object.objectNumber=12a"},
                                    QStringList{"object.pin=1", "object.nope=1"}, QStringList{"nopage.key=1"},
                                    QStringList{"object.apn"}}) {
        const CtlResult run = kv6ctl(QStringList{"set", m_file} + args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(run.err.isEmpty());
        EXPECT_EQ(readFile(m_file), original) << args.join(' ').toStdString();
    }
    const CtlResult refused = kv6ctl({"set", m_file, "object.attemptsIp1=16"});
    EXPECT_TRUE(refused.err.contains("object.attemptsIp1")) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("1..15")) << refused.err.toStdString();
}

TEST_F(Kv6ctlShowSetTest, ShowListsEveryFieldOfEveryPage) {
    QByteArray image(4096, '\0');
    std::mt19937 rng(11);
    for (auto& b : image) {
        b = char(0x20 + rng() % 95);  // printable, no escapes: compared line by line
        if (b == '\\') b = '/';
    }
    writeFile(m_file, image);

    kv6::pages::Configuration expected;
    ASSERT_TRUE(kv6::io::loadConfigurationFile(expected, m_file).ok);
    // No time zone, as the configuration above: the computer's own must not matter.
    const CtlResult show = kv6ctl({"show", m_file, "--time-zone", "0"});
    const CtlResult json = kv6ctl({"show", m_file, "--json", "--time-zone", "0"});
    ASSERT_EQ(show.exitCode, 0);
    ASSERT_EQ(json.exitCode, 0);
    const QStringList lines = show.out.split('\n', Qt::SkipEmptyParts);
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8()).object();
    int count = 0;
    for (const kv6::image::PageModel* page : expected.document.pages()) {
        const QString pageKey = QString::fromStdString(page->pageKey());
        for (const auto& field : page->fields()) {
            const QString key = QString::fromStdString(field.key);
            const QString value = QString::fromStdString(field.value);
            ASSERT_LT(count, lines.size());
            EXPECT_EQ(lines[count++], pageKey + "." + key + " = " + value);  // in page order
            // Typed: a number or a boolean reads back as the text show prints, null as empty.
            const QJsonValue typed = root.value(pageKey).toObject().value(key);
            ASSERT_FALSE(typed.isUndefined()) << key.toStdString();
            EXPECT_EQ(typed.isBool() ? QString(typed.toBool() ? "true" : "false") : typed.toVariant().toString(), value)
                << key.toStdString();
        }
    }
    EXPECT_EQ(count, lines.size());
}

TEST_F(Kv6ctlShowSetTest, ControlCharactersStayInsideTheirLine) {
    QByteArray image(4096, '\0');
    image.replace(0, 6, "12\n4\\6");
    writeFile(m_file, image);
    const CtlResult show = kv6ctl({"show", m_file});
    ASSERT_EQ(show.exitCode, 0);
    EXPECT_TRUE(show.out.split('\n').contains("object.objectNumber = 12\\x0a4\\\\6")) << show.out.toStdString();
    const CtlResult json = kv6ctl({"show", m_file, "--json"});
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(root.value("object").toObject().value("objectNumber").toString(), "12\n4\\6");

    // set takes the shown form back unchanged, though no editor would accept it;
    // another value with a control character is refused and quoted escaped.
    const CtlResult same = kv6ctl({"set", m_file, "object.objectNumber=12\\x0a4\\\\6"});
    ASSERT_EQ(same.exitCode, 0) << same.err.toStdString();
    EXPECT_EQ(readFile(m_file).left(6), "12\n4\\6");
    const CtlResult other = kv6ctl({"set", m_file, "object.objectNumber=12\\x0a"});
    EXPECT_EQ(other.exitCode, 2);
    EXPECT_TRUE(other.err.contains("object.objectNumber: invalid value \"12\\x0a\"")) << other.err.toStdString();
}

TEST_F(Kv6ctlShowSetTest, MissingFileOrArgumentsExitWithTwo) {
    EXPECT_EQ(kv6ctl({"show", m_dir.filePath("absent.prg")}).exitCode, 2);
    EXPECT_EQ(kv6ctl({"show"}).exitCode, 2);
    EXPECT_EQ(kv6ctl({"show", m_dir.path()}).exitCode, 2);
    EXPECT_EQ(kv6ctl({"set", m_dir.filePath("absent.prg"), "object.pin=1234"}).exitCode, 2);
    EXPECT_FALSE(QFile::exists(m_dir.filePath("absent.prg")));
    EXPECT_EQ(kv6ctl({"set", m_file}).exitCode, 2);
}

// A text file is no configuration: every command refuses it, naming its
// size, before any port is touched; --force reads it as the desktop tool does,
// and nothing ever writes over it.
TEST_F(Kv6ctlShowSetTest, AFileOfAnotherSizeIsRefusedUnlessForced) {
    const QByteArray text = "site 12, APN internet\n";
    writeFile(m_file, text);
    const QString json = m_dir.filePath("t.json");
    writeFile(json, R"({"object": {"apn": "x"}})");
    for (const QStringList& args :
         {QStringList{"show", m_file}, {"set", m_file, "object.apn=x"}, {"set", m_file, "--force", "object.apn=x"},
          {"export", m_file}, {"apply", m_file, json}, {"apply", m_file, json, "--force"},
          {"diff", m_file, m_file}, {"journal", m_file}, {"state", m_file},
          {"write-all", "--port", m_dir.filePath("no-port"), m_file}}) {
        const CtlResult run = kv6ctl(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("is 22 bytes, not a 4096-byte configuration")) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }
    EXPECT_EQ(readFile(m_file), text);

    EXPECT_EQ(kv6ctl({"show", "--force", m_file}).exitCode, 0);
    const QString copy = m_dir.filePath("copy.prg");
    EXPECT_EQ(kv6ctl({"apply", m_file, json, "--force", "--out", copy}).exitCode, 0);
    EXPECT_EQ(readFile(copy).size(), 4096);
    EXPECT_EQ(readFile(m_file), text);
}

}  // namespace
