// kv6ctl show / set over the "Коды и Разделы" page: each key changes exactly
// its bytes, refused values write nothing, and what show prints sets back
// without changing a byte.
#include <QProcess>
#include <map>

#include "kv6ctl_serial_fixture.h"

using namespace kv6::e2e;

namespace {

QStringList shownCodes(const QString& path) {
    QProcess ctl;
    ctl.start(QStringLiteral(KV6CTL_PATH), {"show", path});
    EXPECT_TRUE(ctl.waitForFinished(30000));
    QStringList pairs;
    for (const QString& line : QString::fromUtf8(ctl.readAllStandardOutput()).split('\n'))
        if (line.startsWith("codes.")) pairs << QString(line).replace(" = ", "=");
    return pairs;
}

class Kv6ctlCodes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath("codes.prg");
    }
    // A zero image saved once, so that only the assignment's bytes change afterwards.
    QByteArray normalisedZeroFile() {
        writeFile(m_file, kv6::image::Image{});
        EXPECT_EQ(runCtl({"set", m_file, "codes.codeLength=4"}).exitCode, 0);
        return readFile(m_file);
    }
    QTemporaryDir m_dir;
    QString m_file;
};

TEST_F(Kv6ctlCodes, EachKeyChangesExactlyItsBytes) {
    const QByteArray base = normalisedZeroFile();
    const std::vector<std::pair<QString, std::map<int, int>>> cases = {
        {"codes.code7=1234", {{1213, 0x21}, {1214, 0x43}}},
        {"codes.code17=9876", {{1642, 0x89}, {1643, 0x67}}},
        {"codes.bypass1=true", {{1159, 0x01}}},
        {"codes.bypass16=true", {{1160, 0x80}}},
        {"codes.bypass24=true", {{1162, 0x80}}},
        {"codes.partitions1=8", {{1163, 0x80}}},
        {"codes.partitions24=1,3", {{1186, 0x05}}},
        {"codes.code99Partitions=5", {{243, 0x10}}},
        {"codes.code99Bypass=true", {{1508, 0x10}}},
        {"codes.codeLength=6", {{1508, 0x02}}},
        {"codes.partitionObject3=12", {{995, 0x12}}},
        {"codes.partitionObject4=", {{996, 0xFF}, {997, 0xFF}}},
        {"codes.legacyCode1=123456", {{218, 0x21}, {219, 0x43}, {220, 0x65}}},
        {"codes.rearmCode=2", {{242, 2}}},
    };
    for (const auto& [assignment, expected] : cases) {
        {
            QFile file(m_file);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(base);
        }
        ASSERT_EQ(runCtl({"set", m_file, assignment}).exitCode, 0) << assignment.toStdString();
        const QByteArray saved = readFile(m_file);
        ASSERT_EQ(saved.size(), 4096);
        std::map<int, int> changed;
        for (int i = 0; i < saved.size(); ++i)
            if (saved[i] != base[i]) changed[i] = static_cast<std::uint8_t>(saved[i]);
        EXPECT_EQ(changed, expected) << assignment.toStdString();
    }
}

TEST_F(Kv6ctlCodes, RefusedValuesWriteNothing) {
    writeFile(m_file, randomImage(21));
    const QByteArray original = readFile(m_file);
    for (const char* assignment : {"codes.code1=12a4", "codes.code1=123456", "codes.partitions2=0,9",
                                   "codes.code99Partitions=1,2", "codes.partitionObject1=1b",
                                   "codes.legacyCode1=12", "codes.rearmCode=9", "codes.codeLength=5"}) {
        const CtlResult run = runCtl({"set", m_file, "codes.bypass1=true", assignment});
        EXPECT_EQ(run.exitCode, 2) << assignment;
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(assignment).section('=', 0, 0))) << run.err.toStdString();
        EXPECT_EQ(readFile(m_file), original) << assignment;
    }
}

TEST_F(Kv6ctlCodes, ShownValuesSetBackUnchanged) {
    for (unsigned seed : {3u, 4u}) {
        writeFile(m_file, randomImage(seed));
        ASSERT_EQ(runCtl(QStringList{"set", m_file} + shownCodes(m_file)).exitCode, 0);
        const QByteArray saved = readFile(m_file);
        ASSERT_EQ(runCtl(QStringList{"set", m_file} + shownCodes(m_file)).exitCode, 0);
        EXPECT_EQ(readFile(m_file), saved) << seed;
    }
}

}  // namespace
