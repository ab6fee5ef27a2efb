#include "pages/events/events_page.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "image/field_codec.h"
#include "pages/routing/tform5_dialog.h"

namespace kv6::pages {

namespace {
constexpr int kCodeColumnWidth = 100;
enum Column { kCodeColumn, kTclipColumn, kSmsColumn, kSpareColumn };
}  // namespace

EventsPage::EventsPage(EventsModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
                       TForm5& dialog, QWidget* parent)
    : PageWidget(model, workspace, prompts, link, parent), m_model(model), m_dialog(dialog) {
    setObjectName(QStringLiteral("EventsPage"));
    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setHeaderLabels({tr("Код Contact ID"), tr("TCLIP"), tr("SMS"), QString()});
    ListView1->setColumnWidth(kCodeColumn, kCodeColumnWidth);
    ListView1->setStyleSheet(QStringLiteral("QTreeWidget::item { border: 1px solid #d0d0d0; }"));  // grid lines
    for (int row = 0; row < EventsModel::kEntryCount; ++row) new QTreeWidgetItem(ListView1);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { ListView1DblClick(); });

    GroupBox10 = new QGroupBox(tr("Индикация "), this);
    GroupBox10->setObjectName(QStringLiteral("GroupBox10"));
    ComboBox3 = new QComboBox(GroupBox10);
    ComboBox3->setObjectName(QStringLiteral("ComboBox3"));
    ComboBox3->addItems({tr("по таймеру сирены"), tr("по снятию объекта")});
    ComboBox4 = new QComboBox(GroupBox10);
    ComboBox4->setObjectName(QStringLiteral("ComboBox4"));
    ComboBox4->addItem(tr("по пожарной тревоге"));
    CheckListBox2 = new QListWidget(GroupBox10);
    CheckListBox2->setObjectName(QStringLiteral("CheckListBox2"));
    for (int i = 1; i <= 8; ++i) {
        auto* item = new QListWidgetItem(tr("Раздел %1").arg(i), CheckListBox2);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    auto* indication = new QFormLayout(GroupBox10);
    indication->addRow(tr("Охранный индикатор (LED)"), ComboBox3);
    indication->addRow(tr("Пожарный индикатор (BELL)"), ComboBox4);
    indication->addRow(tr("Разделы"), CheckListBox2);
    GroupBox10->hide();

    SpeedButton10 = createWriteButton(QStringLiteral("SpeedButton10"));
    SpeedButton10->setEnabled(true);  // unlike the other pages, usable from the start

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(ListView1, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(GroupBox10);
    side->addStretch(1);
    side->addWidget(SpeedButton10, 0, Qt::AlignRight);
    layout->addLayout(side);

    connect(ComboBox3, &QComboBox::currentIndexChanged, this, [this](int index) {  // ComboBox3Change
        if (refreshing()) return;
        m_model.setLedMode(index);
        raiseEntry(EventsModel::kEntryLedMode);
    });
    connect(CheckListBox2, &QListWidget::itemChanged, this, [this] {  // CheckListBox2ClickCheck
        if (refreshing()) return;
        std::uint8_t mask = 0;
        for (int i = 0; i < CheckListBox2->count(); ++i)
            if (CheckListBox2->item(i)->checkState() == Qt::Checked) mask = static_cast<std::uint8_t>(mask | (1u << i));
        m_model.setIndicationPartitions(mask);
        raiseEntry(EventsModel::kEntryIndication);
    });
    refreshFromModel();
}

void EventsPage::showRow(int row) {
    QTreeWidgetItem* item = ListView1->topLevelItem(row);
    if (!item) return;
    const QIcon yes = style()->standardIcon(QStyle::SP_DialogApplyButton);  // ImageList1's first image
    item->setText(kCodeColumn, QString::fromStdString(m_model.code(row)));
    const bool tclip = m_model.tclipOn(row);
    const bool sms = m_model.smsOn(row);
    item->setText(kTclipColumn, tclip ? tr("Да") : tr("Нет"));
    item->setIcon(kTclipColumn, tclip ? yes : QIcon());
    item->setText(kSmsColumn, sms ? tr("Да") : tr("Нет"));
    item->setIcon(kSmsColumn, sms ? yes : QIcon());
}

void EventsPage::ListView1DblClick() {
    QTreeWidgetItem* item = ListView1->currentItem();
    if (!item || !item->isSelected()) return;
    const int row = ListView1->indexOfTopLevelItem(item);
    m_dialog.loadEvent(item->text(kCodeColumn), m_model.routing(row));
    if (!m_dialog.run()) return;
    m_model.applyRouting(row, m_dialog.eventRouting());
    showRow(row);
    m_workspace.flags.set(EventsModel::kEntryTable);
    m_workspace.flags.set(EventsModel::thirdEntryOf(row));
}

void EventsPage::refreshFromModel() {
    const RefreshScope scope(*this);
    for (int row = 0; row < EventsModel::kEntryCount; ++row) showRow(row);
    ComboBox3->setCurrentIndex(m_model.ledMode());
    const image::Partitions marks = image::unpackPartitions(m_model.indicationPartitions());
    for (int i = 0; i < CheckListBox2->count(); ++i)
        CheckListBox2->item(i)->setCheckState(marks[static_cast<std::size_t>(i)] ? Qt::Checked : Qt::Unchecked);
}

}  // namespace kv6::pages
