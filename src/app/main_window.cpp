#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFontMetrics>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <QTimer>
#include <QToolButton>
#include <QGridLayout>
#include <QVBoxLayout>

#include "app/dialog_provider.h"
#include "app/link_control.h"
#include "app/main_menu.h"
#include "app/message_box_prompts.h"
#include "app/module_link_control.h"
#include "app/page_sheets.h"
#include "app/panel_status_bar.h"
#include "app/shown_tabs.h"
#include "app/standard_dialogs.h"
#include "app/tab_change_marks.h"
#include "app/transfer_progress_bar.h"
#include "app/window_keys.h"
#include "image/time_zone.h"
#include "io/core_text.h"
#include "io/module_link.h"
#include "io/backup_store.h"
#include "io/serial_port.h"
#include "pages/routing/tform5_dialog.h"

namespace kv6::app {

namespace {

// The running program's side-file folders, with those the options name instead.
SideFileLocations sideFileLocations(const TForm1Options& options) {
    SideFileLocations locations = SideFileLocations::forRunningProgram();
    if (!options.programDirectory.isEmpty()) locations.programDirectory = options.programDirectory;
    if (!options.fallbackDirectory.isEmpty()) locations.currentDirectory = options.fallbackDirectory;
    if (!options.configDirectories.isEmpty()) locations.configDirectories = options.configDirectories;
    if (!options.dataDirectories.isEmpty()) locations.dataDirectories = options.dataDirectories;
    return locations;
}

}  // namespace

TForm1::TForm1(TForm1Options options, QWidget* parent)
    : QMainWindow(parent),
      m_configuration(&m_trace),
      m_sideFiles(sideFileLocations(options), options.language),
      m_runLanguage(options.language),
      m_chosenLanguage(options.language) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Korvel_KV6"));

    StatusBar1 = new PanelStatusBar(this);  // before the link, which may report at once
    if (options.prompts) {
        m_prompts = options.prompts;
    } else {
        m_ownPrompts = std::make_unique<MessageBoxPrompts>(this);
        m_ownerlessPrompts = std::make_unique<MessageBoxPrompts>();
        m_prompts = m_ownPrompts.get();
    }
    if (!options.dialogs) m_ownDialogs = std::make_unique<StandardDialogs>();
    m_dialogs = options.dialogs ? options.dialogs : m_ownDialogs.get();
    if (options.link) {
        m_link = options.link;
    } else {
        // The port's failure boxes stand alone; the engine's belong to the window.
        Prompts& portPrompts = m_ownerlessPrompts ? *m_ownerlessPrompts : *m_prompts;
        m_moduleLink = std::make_unique<io::ModuleLink>(m_configuration, *this, *m_prompts, portPrompts, m_trace);
        m_ownLink = std::make_unique<ModuleLinkControl>(*m_moduleLink, options.remotePort);
        m_link = m_ownLink.get();
        connect(m_moduleLink.get(), &io::ModuleLink::readCompleted, this, &TForm1::configurationDecoded);
        // The pages now hold the module's image, not the file's.
        connect(m_moduleLink.get(), &io::ModuleLink::readCompleted, this, [this] { showLastFile({}); });
        // The greeting subtracts the zone chosen on the date and time page.
        m_moduleLink->setTimeZoneHoursProvider([this] { return m_configuration.settings.zoneHours(); });
        // Every completed read is kept as a backup; one that cannot be
        // written is a trace line, never a message.
        connect(m_moduleLink.get(), &io::ModuleLink::readCompleted, this, [this] {
            QString error;
            const QString file = io::BackupStore().keep(
                m_configuration.workspace.ReceivedImage, QString::fromStdString(m_configuration.object.values().objectNumber),
                QDateTime::currentDateTime(), &error);
            m_trace.trace(TraceChannel::Image, file.isEmpty() ? "backup not kept: " + error.toStdString()
                                                              : "backup " + file.toStdString());
        });
    }
    m_refusalShown = new QTimer(this);
    m_refusalShown->setSingleShot(true);
    m_refusalShown->setInterval(options.refusalShownMs);
    connect(m_refusalShown, &QTimer::timeout, this, &TForm1::releaseOperationText);
    if (m_moduleLink) {
        io::ModuleLink* link = m_moduleLink.get();
        connect(link, &io::ModuleLink::readCompleted, this, &TForm1::releaseOperationText);
        connect(link, &io::ModuleLink::readFailed, this, &TForm1::releaseOperationText);
        connect(link, &io::ModuleLink::writeFinished, this, &TForm1::releaseOperationText);
    }
    m_pageLink = std::make_unique<GuardedWriteLink>(*m_link, [this] { return refusedWhileTransferring(); });
    m_configuration.document.setWriteControlsEnabler([this] { SpeedButton5Click(); });
    // ComboBox18 starts at the computer's time zone.
    m_configuration.settings.values().timeZoneItem =
        image::timeZoneItemFromUtcOffset(QDateTime::currentDateTime().offsetFromUtc() / 60);

    MainMenu1 = new MainMenu(menuBar());
    Timer3 = new QTimer(this);
    Timer3->setObjectName(QStringLiteral("Timer3"));
    Timer3->setInterval(kTimer3Ms);
    connect(Timer3, &QTimer::timeout, this, &TForm1::repeatedWriteTick);

    Form5 = new pages::TForm5;
    buildPages();
    // Owned by the window after the pages, so that a search for a control
    // name finds the page's control before the dialog's of the same name.
    Form5->setParent(this, Form5->windowFlags());
    connectMenu();
    new WindowKeys(this, m_shownTabs, MainMenu1->N3);
    fixSizeAndCentre();
    // What the pages show at start counts as unchanged, as after a decode.
    m_configuration.document.rememberFields();
    m_tabMarks = new TabChangeMarks(*PageControl1);
    m_tabMarks->updateAll();

    if (options.loadSideFilesOnStart) {
        m_firstTick = new QTimer(this);
        m_firstTick->setSingleShot(true);
        connect(m_firstTick, &QTimer::timeout, this, &TForm1::loadSideFiles);
        m_firstTick->start(kFirstTickMs);
    }
}

// The link and the page widgets refer to the configuration: they go first.
TForm1::~TForm1() {
    m_moduleLink.reset();
    delete m_shownTabs;  // the tabs going down change the current one: nothing to correct then
    delete takeCentralWidget();
}

void TForm1::buildPages() {
    auto* central = new QWidget(this);
    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(PageControl1, 1);
    TransferProgress = new TransferProgressBar([this]() -> std::optional<link::TransferProgress> {
        if (!m_moduleLink) return std::nullopt;
        return m_moduleLink->transferProgress();
    });
    if (m_moduleLink) {
        io::ModuleLink* link = m_moduleLink.get();
        connect(link, &io::ModuleLink::readCompleted, TransferProgress, [this] { TransferProgress->finish(true); });
        connect(link, &io::ModuleLink::readFailed, TransferProgress, [this] { TransferProgress->finish(false); });
        connect(link, &io::ModuleLink::writeFinished, TransferProgress, &TransferProgressBar::finish);
        // Written fields count as unchanged only once the module has them.
        connect(link, &io::ModuleLink::writeFinished, this, [this](bool ok) {
            m_configuration.document.writeEnded(ok);
            m_tabMarks->updateAll();
        });
    }
    layout->addWidget(StatusBar1);
    setCentralWidget(central);

    // The file name and the progress share the menu bar's free end: the
    // status panels keep their room, and the row's height is fixed, so
    // that nothing below moves when the progress comes or goes.
    FileNameLabel = new QLabel;
    FileNameLabel->setObjectName(QStringLiteral("FileNameLabel"));
    // Fixed: the menu bar places its corner by the corner's size hint, once.
    FileNameLabel->setFixedWidth(kFileLabelWidth);
    FileNameLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FileNameLabel->hide();
    auto* corner = new QWidget;
    corner->setObjectName(QStringLiteral("MenuBarCorner"));
    auto* cornerCell = new QGridLayout(corner);  // both in one cell, one shown at a time
    cornerCell->setContentsMargins(0, 0, kCornerMargin, 0);
    for (QWidget* shared : {static_cast<QWidget*>(FileNameLabel), static_cast<QWidget*>(TransferProgress)}) {
        QSizePolicy policy = shared->sizePolicy();
        policy.setRetainSizeWhenHidden(true);  // the cell, and the menu bar, keep their size
        shared->setSizePolicy(policy);
        cornerCell->addWidget(shared, 0, 0, Qt::AlignRight | Qt::AlignVCenter);
    }
    menuBar()->setCornerWidget(corner, Qt::TopRightCorner);
    // The bar takes the file name's place while a transfer runs.
    // (Not through the window: the corner goes down after the window's own part.)
    connect(TransferProgress, &TransferProgressBar::shownChanged, FileNameLabel,
            [label = FileNameLabel](bool shown) { label->setVisible(!shown && !label->toolTip().isEmpty()); });

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    PopupMenu2->addSeparator();
    N13 = PopupMenu2->addAction(tr("Очистить журнал событий"));
    N13->setObjectName(QStringLiteral("N13"));
    N13->setEnabled(false);
    connect(N13, &QAction::triggered, this, &TForm1::journalClearRequested);

    m_sheets = PageSheets(*this).build();
    m_shownTabs = new ShownTabs(PageControl1->tabBar());
    PageControl1->setCurrentIndex(0);
}

void TForm1::connectMenu() {
    MainMenu& m = *MainMenu1;
    connect(m.N5, &QAction::triggered, this, &TForm1::N5Click);
    connect(m.N7, &QAction::triggered, this, &TForm1::N7Click);
    connect(m.N3, &QAction::triggered, this, &TForm1::N3Click);
    connect(m.COM1, &QAction::triggered, this, &TForm1::COM1Click);
    (m_runLanguage == UiLanguage::English ? m.LanguageEnglish : m.LanguageRussian)->setChecked(true);
    connect(m.LanguageRussian, &QAction::triggered, this, [this] { chooseLanguage(UiLanguage::Russian); });
    connect(m.LanguageEnglish, &QAction::triggered, this, [this] { chooseLanguage(UiLanguage::English); });
    connect(m.N11, &QAction::toggled, this, &TForm1::N11Click);
    connect(m.N16, &QAction::triggered, this, &TForm1::N16Click);
    connect(m.N22, &QAction::triggered, this, &TForm1::N22Click);
    connect(m.N25, &QAction::triggered, this, &TForm1::N25Click);
    connect(m.N8, &QAction::triggered, this, &TForm1::N8Click);
    connect(m.N15, &QAction::triggered, this, &TForm1::N15Click);
    connect(m.N18, &QAction::triggered, this, &TForm1::N18Click);
    connect(m.N19, &QAction::triggered, this, &TForm1::N19Click);
    connect(m.dad1, &QAction::triggered, this, [this] {
        if (Timer3->isActive())
            Timer3->stop();
        else
            Timer3->start();
    });
}

// The client area is 750 x 392 unless the platform font needs more; the
// window is fixed at that and centred on the screen.
void TForm1::fixSizeAndCentre() {
    // Every shown tab must show without scroll arrows, whatever the font and
    // however many tabs carry a change mark.
    const int tabsWidth = TabChangeMarks::markedBarWidth(*PageControl1) + kTabBarSlack;
    const QSize client = QSize(std::max(kClientWidth, tabsWidth), kClientHeight)
                             .expandedTo(centralWidget()->minimumSizeHint());
    setFixedSize(client.width(), client.height() + menuBar()->sizeHint().height());
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TForm1::showLastFile(const QString& path) {
    m_lastFile = path.isEmpty() ? m_lastFile : path;  // the folder stays the dialogs' start
    const QString name = QFileInfo(path).fileName();
    // A long name keeps its start and its end; the tooltip holds the whole path.
    const QString head = tr("Файл: ");
    const QFontMetrics metrics = FileNameLabel->fontMetrics();
    FileNameLabel->setText(
        head + metrics.elidedText(name, Qt::ElideMiddle, kFileLabelWidth - metrics.horizontalAdvance(head)));
    FileNameLabel->setToolTip(QDir::toNativeSeparators(path));
    FileNameLabel->setVisible(!name.isEmpty());
}

QString TForm1::fileDialogStart(bool forSave) const {
    const QString folder = m_lastFile.isEmpty() ? QString() : QFileInfo(m_lastFile).absolutePath();
    const QString objectNumber = QString::fromStdString(m_configuration.object.values().objectNumber).trimmed();
    if (!forSave || objectNumber.isEmpty()) return folder;
    const QString name = objectNumber + QStringLiteral(".prg");
    return folder.isEmpty() ? name : QDir(folder).filePath(name);
}

QWidget* TForm1::tabSheet(int number) const {
    if (number < 1 || number > kSheetCount) return nullptr;
    return m_sheets[static_cast<std::size_t>(number - 1)];
}

pages::WriteLink& TForm1::writeLink() { return *m_pageLink; }

void TForm1::setStatus(StatusPanel panel, const std::string& text) {
    const QString shown = io::coreText(text);
    if (panel == StatusPanel::Operation && m_refusalShown->isActive()) {
        m_heldOperationText = shown;
        return;
    }
    StatusBar1->setPanelText(static_cast<int>(panel), shown);
}

void TForm1::showRefusal(const QString& text) {
    StatusBar1->setPanelText(1, text);
    m_refusalShown->start();
}

void TForm1::releaseOperationText() {
    m_refusalShown->stop();
    if (m_heldOperationText) StatusBar1->setPanelText(1, *m_heldOperationText);
    m_heldOperationText.reset();
}

void TForm1::showOperation(const QString& text, int pathFrom) {
    m_refusalShown->stop();
    m_heldOperationText.reset();
    StatusBar1->setPanelText(1, text, pathFrom);
}

void TForm1::registerWriteControl(QWidget* control) {
    if (!control) return;
    control->setEnabled(m_writeControlsEnabled);
    m_writeControls.emplace_back(control);
}

void TForm1::attachJournalMenu(QWidget* list) {
    if (!list) return;
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this,
            [this, list](const QPoint& pos) { PopupMenu2->popup(list->mapToGlobal(pos)); });
}

// Run at the start of every whole-image decode: from the first completed read
// or file load on, the write commands stay usable.
void TForm1::SpeedButton5Click() {
    m_writeControlsEnabled = true;
    MainMenu1->N16->setEnabled(true);
    MainMenu1->N14->menuAction()->setEnabled(true);
    N13->setEnabled(true);
    for (const QPointer<QWidget>& control : m_writeControls)
        if (control) control->setEnabled(true);
}

void TForm1::loadSideFiles() {
    if (!m_firstTickPending) return;
    m_sideFiles.loadAll();
    warnOfRussianJournalTexts();
    if (!m_sideFiles.portLines().isEmpty())
        m_trace.trace(TraceChannel::Link, m_sideFiles.portLines().constFirst().toStdString());
    applyPortSetting();
    m_firstTickPending = false;
    emit sideFilesLoaded();
}

// An English run showing Russian event descriptions says where they came from.
void TForm1::warnOfRussianJournalTexts() const {
    const QString path = m_sideFiles.journalFilePath();
    if (m_runLanguage != UiLanguage::English || path.isEmpty()) return;
    if (QFileInfo(path).fileName() == QLatin1String(SideFiles::kEnglishJournalFile)) return;
    qWarning("korvel-kv6: event descriptions from %s (no readable %s there)",
             qPrintable(QDir::toNativeSeparators(path)), SideFiles::kEnglishJournalFile);
}

void TForm1::applyPortSetting() {
    if (const std::optional<QString> port = m_sideFiles.portSetting()) m_link->setPort(*port);
    m_link->setPacing(m_sideFiles.reactivePacing() ? link::Pacing::Reactive : link::Pacing::Module);
}

void TForm1::N11Click(bool checked) { emit advancedToggled(checked); }

void TForm1::chooseLanguage(UiLanguage language) {
    if (language == m_chosenLanguage) return;
    m_chosenLanguage = language;
    emit languageChosen(language);
    if (language == m_runLanguage) return;  // chosen back: nothing changes
    // Every text was made in the run's language: the other shows from the next start.
    m_prompts->message("Язык сменится при следующем запуске программы.\n"
                       "The language changes when the program starts next.",
                       "Язык / Language", MessageIcon::Information, MessageButtons::Ok);
}

void TForm1::N3Click() { close(); }

bool TForm1::discardChangesConfirmed() {
    if (!m_configuration.document.hasChanges()) return true;
    return m_prompts->message(
        tr("Изменённые поля не записаны в модуль и не сохранены в файл. Отменить изменения ?").toStdString(),
        tr(" Изменения").toStdString(), MessageIcon::Exclamation, MessageButtons::YesNo);
}

// Leaving while write jobs wait would leave the module half-written: ask first.
void TForm1::closeEvent(QCloseEvent* event) {
    if (!discardChangesConfirmed()) {
        event->ignore();
        return;
    }
    if (!m_configuration.workspace.queue.empty() &&
        !m_prompts->message(tr("Запись настроек в модуль не завершена: модуль останется записанным не полностью. "
                               "Выйти ?")
                                .toStdString(),
                            tr(" Выход").toStdString(), MessageIcon::Exclamation, MessageButtons::OkCancel)) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace kv6::app
