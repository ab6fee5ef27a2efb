// The status bar's progress bar during a read from the simulated module.
#include <QFile>
#include <algorithm>
#include <vector>

#include "app/main_menu.h"
#include "app/transfer_progress_bar.h"
#include "window_over_simulator.h"

namespace kv6::app::test {
namespace {

class ProgressOverSimulator : public WindowOverSimulator {
protected:
    [[nodiscard]] QByteArray moduleImage() const override { return QByteArray(4096, '\0'); }  // password 0
};

TEST_F(ProgressOverSimulator, ReadCountsItsBlocksThenHides) {
    sim.start(QStringLiteral(KV6SIM_PATH), {"--serial", "--image", dir.filePath("module.prg")});
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QFile param2(dir.filePath("param2"));
    ASSERT_TRUE(param2.open(QIODevice::WriteOnly));
    param2.write(device.toLocal8Bit() + "\n");  // the module's pacing: a block every 300 ms
    param2.close();
    makeWindow();
    TransferProgressBar* bar = window->TransferProgress;
    ASSERT_TRUE(bar->isHidden());
    std::vector<int> shown;
    QObject::connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
        if (!bar->isHidden()) shown.push_back(value);
    });

    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("0"), QString()};
    window->MainMenu1->N8->trigger();
    ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Чтение данных завершено"); }, 20000))
        << panel(1).toStdString();
    EXPECT_EQ(bar->maximum(), 8);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), 8) << "a finished read shows its whole count";
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](int v) { return v > 0 && v < 8; }));
    EXPECT_TRUE(waitUntil([&] { return bar->isHidden(); }, 3000));
    EXPECT_EQ(panel(1), QStringLiteral(" Чтение данных завершено")) << "the status text stays as it was";
}

// A second "Считать" during the read is refused; the refusal stays for
// seconds, not until the next block, and the read's end shows at once.
TEST_F(ProgressOverSimulator, ARefusalStaysWhileTheReadGoesOnAndItsEndShows) {
    sim.start(QStringLiteral(KV6SIM_PATH), {"--serial", "--image", dir.filePath("module.prg")});
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QFile param2(dir.filePath("param2"));
    ASSERT_TRUE(param2.open(QIODevice::WriteOnly));
    param2.write(device.toLocal8Bit() + "\n");
    param2.close();
    makeWindow();
    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("0"), QString()};
    window->MainMenu1->N8->trigger();
    ASSERT_TRUE(waitUntil([&] { return panel(1).startsWith(QStringLiteral(" Чтение данных **")); }, 10000))
        << panel(1).toStdString();
    window->MainMenu1->N8->trigger();
    const QString refusal = QStringLiteral(" Идёт чтение данных из модуля. Дождитесь его завершения");
    EXPECT_EQ(panel(1), refusal);
    EXPECT_FALSE(waitUntil([&] { return panel(1) != refusal; }, 1200)) << panel(1).toStdString();
    ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Чтение данных завершено"); }, 20000))
        << panel(1).toStdString();
}

}  // namespace
}  // namespace kv6::app::test
