#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "app/guarded_write_link.h"
#include "app/logging_trace_sink.h"
#include "app/side_files.h"
#include "app/ui_language.h"
#include "common/prompts.h"
#include "common/status_sink.h"
#include "pages/configuration.h"
#include "pages/common/write_link.h"

class QAction;
class QLabel;
class QMenu;
class QTabWidget;
class QTimer;
class QTreeWidget;

namespace kv6::io {
class ModuleLink;
}

namespace kv6::pages {
class TForm5;
}

namespace kv6::app {

class DialogProvider;
class LinkControl;
class MainMenu;
class PanelStatusBar;
class ShownTabs;
class TabChangeMarks;
class TransferProgressBar;

// What the window would otherwise make itself; tests pass scripted ones.
struct TForm1Options {
    Prompts* prompts = nullptr;         // null: message boxes
    DialogProvider* dialogs = nullptr;  // null: the real dialogs
    LinkControl* link = nullptr;        // null: the window's own ModuleLink
    QString programDirectory;           // empty: the executable's directory
    QString fallbackDirectory;          // empty: the current directory
    QStringList configDirectories;      // empty: the user's and the system's configuration folders
    QStringList dataDirectories;        // empty: the installed data folders (the shipped parame)
    bool loadSideFilesOnStart = true;   // the first Timer2 tick, 300 ms after start
    int refusalShownMs = 4000;          // how long a refusal in panel 1 outlasts the progress texts
    quint16 remotePort = 8099;          // "Удалённый доступ" listens here
    UiLanguage language = UiLanguage::Russian;  // the one the run shows: ticked in "Язык / Language"
};

// The main window: the pages, MainMenu1, StatusBar1, the side files and the
// commands of the menus. It owns the configuration and the link for the run.
class TForm1 final : public QMainWindow, public StatusSink {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 750;
    static constexpr int kClientHeight = 392;
    static constexpr int kTabBarSlack = 8;  // the tab widget frame around its bar
    static constexpr int kSheetCount = 11;
    static constexpr int kFirstTickMs = 300;
    static constexpr int kTimer3Ms = 15000;
    static constexpr int kFileLabelWidth = 260;  // "Файл: " and the name, elided beyond
    static constexpr int kCornerMargin = 4;         // between the file name and the window's edge

    explicit TForm1(TForm1Options options = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    void setStatus(StatusPanel panel, const std::string& text) override;

    [[nodiscard]] pages::Configuration& configuration() { return m_configuration; }
    [[nodiscard]] pages::WriteLink& writeLink();
    [[nodiscard]] Prompts& prompts() { return *m_prompts; }
    [[nodiscard]] const SideFiles& sideFiles() const { return m_sideFiles; }
    // The real link; null when a test put another LinkControl in its place.
    [[nodiscard]] io::ModuleLink* moduleLink() const { return m_moduleLink.get(); }
    // TabSheet1 .. TabSheet11 by their number.
    [[nodiscard]] QWidget* tabSheet(int number) const;
    [[nodiscard]] bool writeControlsEnabled() const { return m_writeControlsEnabled; }

    // A page's write button: disabled until the first read or file load.
    void registerWriteControl(QWidget* control);
    // With changed fields on the pages, asks whether to discard them; true: go on.
    [[nodiscard]] bool discardChangesConfirmed();
    // Puts PopupMenu2 ("Очистить журнал событий") on the journal list.
    void attachJournalMenu(QWidget* list);

    QTabWidget* PageControl1 = nullptr;
    PanelStatusBar* StatusBar1 = nullptr;
    TransferProgressBar* TransferProgress = nullptr;  // at the menu bar's end while a transfer runs
    QLabel* FileNameLabel = nullptr;  // the last file loaded or saved, until the next read; at the menu bar's end
    MainMenu* MainMenu1 = nullptr;
    QMenu* PopupMenu2 = nullptr;     // context menu of the journal list
    QAction* N13 = nullptr;          // "Очистить журнал событий", a write control
    QTreeWidget* ListView3 = nullptr;  // the journal list of TabSheet9
    QTimer* Timer3 = nullptr;        // the hidden repeated write test, 15 s, off at start
    pages::TForm5* Form5 = nullptr;  // the routing dialog of the event table and the zone grid

public slots:
    // The first Timer2 tick's step: param2, parame, paramp, paramd.
    void loadSideFiles();
    void SpeedButton5Click();
    void N5Click();
    void N7Click();
    // The file load of N7Click for a file chosen elsewhere (the command line).
    void loadFile(const QString& path);
    void N3Click();
    void COM1Click();
    void N11Click(bool checked);
    void N8Click();
    void N15Click();
    void N16Click();
    void N22Click();
    void N25Click();
    void N18Click();
    void N19Click();
    // "Язык / Language": another language is kept for the next start.
    void chooseLanguage(UiLanguage language);

signals:
    // The user chose another language than the run's.
    void languageChosen(UiLanguage language);
    void advancedToggled(bool visible);
    // After every whole-image decode (file load, completed read): pages refresh.
    void configurationDecoded();
    void sideFilesLoaded();
    void journalClearRequested();
    void repeatedWriteTick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // While a read or write runs, a load, read or write would mix two
    // configurations in the module: say so in the status bar and refuse.
    [[nodiscard]] bool refusedWhileTransferring();
    // A refusal stays in panel 1 for a while: the running transfer's next
    // progress text, due within a second, waits until then (its last one is
    // shown then); the transfer's end shows its result at once.
    void showRefusal(const QString& text);
    void releaseOperationText();
    // The window's own texts in panel 1 (what the user just did) show at once.
    void showOperation(const QString& text, int pathFrom = -1);
    void buildPages();
    void connectMenu();
    void applyPortSetting();
    void warnOfRussianJournalTexts() const;
    void fixSizeAndCentre();
    // The last file loaded or saved, shown by name; empty after a read.
    void showLastFile(const QString& path);
    // Where the file dialogs start: the last file's folder (and for a save,
    // "<object number>.prg" in it).
    [[nodiscard]] QString fileDialogStart(bool forSave) const;

    LoggingTraceSink m_trace;
    pages::Configuration m_configuration;
    std::unique_ptr<Prompts> m_ownPrompts;
    std::unique_ptr<Prompts> m_ownerlessPrompts;  // the link's port errors stand alone
    Prompts* m_prompts = nullptr;
    std::unique_ptr<DialogProvider> m_ownDialogs;
    DialogProvider* m_dialogs = nullptr;
    std::unique_ptr<io::ModuleLink> m_moduleLink;
    std::unique_ptr<LinkControl> m_ownLink;
    LinkControl* m_link = nullptr;
    std::unique_ptr<GuardedWriteLink> m_pageLink;  // what the pages write through
    SideFiles m_sideFiles;
    const UiLanguage m_runLanguage;  // every text was made in it
    UiLanguage m_chosenLanguage;     // for the next start
    bool m_firstTickPending = true;
    QTimer* m_firstTick = nullptr;
    std::array<QWidget*, kSheetCount> m_sheets{};
    std::vector<QPointer<QWidget>> m_writeControls;
    TabChangeMarks* m_tabMarks = nullptr;
    ShownTabs* m_shownTabs = nullptr;
    QString m_lastFile;
    QTimer* m_refusalShown = nullptr;
    std::optional<QString> m_heldOperationText;  // the link's last text while a refusal is shown
    bool m_writeControlsEnabled = false;
};

}  // namespace kv6::app
