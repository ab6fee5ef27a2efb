// kv6bench: measures the full serial read, the write of all settings and the
// remote read against kv6sim, in both pacings, and prints them beside the
// limit the line itself sets. Run by `make bench`; it is a benchmark, not a
// test: it passes or fails nothing.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <random>

#include "bench_run.h"
#include "image/image.h"
#include "io/module_link.h"
#include "io/prg_file.h"
#include "pages/configuration.h"

namespace {

using namespace kv6;
using bench::Measurement;

constexpr double kBytesPerSecond = 9600.0 / 10.0;  // 8N1: ten bits a byte
constexpr int kRemoteBlocks = 15;
constexpr int kLimitMs = 120'000;

// Status, messages and trace go nowhere; a message box is printed.
class Quiet final : public StatusSink, public Prompts, public TraceSink {
public:
    void setStatus(StatusPanel, const std::string&) override {}
    bool message(const std::string& text, const std::string& caption, MessageIcon, MessageButtons) override {
        std::fprintf(stderr, "kv6bench: %s: %s\n", caption.c_str(), text.c_str());
        return true;
    }
    void trace(TraceChannel, const std::string&) override {}
};

// One link and its configuration, as kv6ctl sets them up.
struct Bench {
    Quiet quiet;
    pages::Configuration configuration;
    io::ModuleLink link{configuration, quiet, quiet, quiet};
    explicit Bench(link::Pacing pacing) { link.setPacing(pacing); }
};

const char* pacingName(link::Pacing pacing) { return pacing == link::Pacing::Module ? "module" : "reactive"; }

void printHeader() {
    std::printf("%-24s %-9s %8s %9s %9s %11s %7s  %s\n", "transfer", "pacing", "seconds", "bytes out", "bytes in",
                "limit s", "ratio", "target");
}

void printRow(const char* transfer, link::Pacing pacing, const Measurement& m, double limit, double target) {
    if (!m.ok) {
        std::printf("%-24s %-9s   FAILED after %.2f s\n", transfer, pacingName(pacing), m.seconds);
        return;
    }
    char ratio[16] = "-";
    char verdict[32] = "";
    if (limit > 0) {
        std::snprintf(ratio, sizeof ratio, "%.2f", m.seconds / limit);
        if (pacing == link::Pacing::Reactive)
            std::snprintf(verdict, sizeof verdict, "<= %.1f %s", target, m.seconds / limit <= target ? "met" : "MISSED");
    }
    std::printf("%-24s %-9s %8.3f %9llu %9llu %11.2f %7s  %s\n", transfer, pacingName(pacing), m.seconds,
                static_cast<unsigned long long>(m.sent), static_cast<unsigned long long>(m.received), limit, ratio,
                verdict);
    std::fflush(stdout);
}

double serialLimit(const Measurement& m) { return static_cast<double>(m.sent + m.received) / kBytesPerSecond; }

image::Image moduleImage() {
    std::mt19937 random(2026);
    image::Image image{};
    for (auto& b : image) b = static_cast<std::uint8_t>(random());
    image[244] = 0;  // read password 0
    image[245] = 0;
    return image;
}

bool startProcess(QProcess& process, const QStringList& arguments) {
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(KV6SIM_PATH), arguments);
    return process.waitForStarted(5000);
}

void stopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(5000)) process.kill();
    process.waitForFinished(2000);
}

void serialBench(const QString& imageFile, const QString& programFile) {
    QProcess sim;
    if (!startProcess(sim, {"--serial", "--line-rate", "--image", imageFile})) {
        std::fprintf(stderr, "kv6bench: kv6sim did not start\n");
        return;
    }
    bench::waitFor([&] { return sim.canReadLine() || sim.state() == QProcess::NotRunning; }, 5000);
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    for (const link::Pacing pacing : {link::Pacing::Module, link::Pacing::Reactive}) {
        Bench b(pacing);  // one link: the port stays locked by the link that opened it
        b.link.setPort(device);
        const Measurement r = bench::measure(b.link, [&] { b.link.startRead(QStringLiteral("0")); }, kLimitMs);
        printRow("serial read (8 blocks)", pacing, r, serialLimit(r), 1.3);
        bench::settle(800);  // the ninth block's answer still crosses the line

        if (!io::loadConfigurationFile(b.configuration, programFile).ok) return;
        const Measurement w = bench::measure(
            b.link,
            [&] {
                if (!b.link.ensureLink()) return;
                b.configuration.document.EncodeAll();
                b.configuration.document.queueWriteAllJobs();
                b.link.startWrite();
            },
            kLimitMs);
        printRow("serial write-all (20)", pacing, w, serialLimit(w), 1.3);
        bench::settle(300);
    }
    stopProcess(sim);
}

void remoteBench(const QString& imageFile) {
    for (const int delayMs : {0, 100, 500}) {
        for (const link::Pacing pacing : {link::Pacing::Module, link::Pacing::Reactive}) {
            Bench b(pacing);
            if (!b.link.startListening(0)) return;
            QProcess sim;
            if (!startProcess(sim, {"--connect", QStringLiteral("127.0.0.1:%1").arg(b.link.listeningPort()),
                                    "--image", imageFile, "--delay", QString::number(delayMs)}))
                return;
            bool identified = false;
            QObject::connect(&b.link, &io::ModuleLink::remoteIdentified, [&] { identified = true; });
            bench::waitFor([&] { return identified; }, 10'000);
            const Measurement m = bench::measure(b.link, [&] { b.link.startRead(QStringLiteral("0")); }, kLimitMs);
            const QByteArray label = QStringLiteral("remote read, rtt %1 ms").arg(delayMs).toLatin1();
            printRow(label.constData(), pacing, m, kRemoteBlocks * delayMs / 1000.0, 1.5);
            b.link.stopListening();
            sim.waitForFinished(5000);
            stopProcess(sim);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString imageFile = dir.filePath(QStringLiteral("module.prg"));
    const QString programFile = dir.filePath(QStringLiteral("program.prg"));
    {
        const image::Image module = moduleImage();
        image::Image program = moduleImage();
        std::reverse(program.begin() + 246, program.end());  // other settings, same password
        QFile a(imageFile);
        QFile b(programFile);
        if (!a.open(QIODevice::WriteOnly) || !b.open(QIODevice::WriteOnly)) return 1;
        a.write(reinterpret_cast<const char*>(module.data()), static_cast<qint64>(module.size()));
        b.write(reinterpret_cast<const char*>(program.data()), static_cast<qint64>(program.size()));
    }
    std::printf("Serial at 9600 baud 8N1 (limit: bytes out + bytes in at 960 bytes/s);\n"
                "remote over loopback TCP with the module answering after the round trip\n"
                "(limit: 15 blocks x round trip).\n\n");
    printHeader();
    serialBench(imageFile, programFile);
    remoteBench(imageFile);
    return 0;
}
