#include "pages/zones/zones_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "io/core_text.h"
#include "pages/routing/tform5_dialog.h"
#include "widgets/spin_edit.h"
#include "widgets/value_list_editor.h"

namespace kv6::pages {

namespace {

constexpr int kGridMinimumWidth = 260;
// The 32 rows scroll inside the window's fixed client area.
constexpr int kGridMinimumHeight = 160;

QListWidget* checkList(const QString& name, const QStringList& items, QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    for (const QString& text : items) {
        auto* item = new QListWidgetItem(text, list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    return list;
}

QStringList partitionItems() {
    QStringList items;
    for (int i = 1; i <= ZonesModel::kPartitionCount; ++i) items << QObject::tr("Раздел %1").arg(i);
    return items;
}

std::uint8_t checkedMask(const QListWidget* list) {
    std::uint8_t mask = 0;
    for (int i = 0; i < list->count() && i < 8; ++i)
        if (list->item(i)->checkState() == Qt::Checked) mask = static_cast<std::uint8_t>(mask | (1u << i));
    return mask;
}

void showMask(QListWidget* list, std::uint8_t mask) {
    const QSignalBlocker blocker(list);
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState((mask & (1u << i)) != 0 ? Qt::Checked : Qt::Unchecked);
}

widgets::SpinEdit* timeSpin(const QString& spinner, const QString& edit, QWidget* parent) {
    auto* box = new widgets::SpinEdit(spinner, edit, parent);
    box->setRange(0, ZonesModel::kMaxTime);
    box->setSingleStep(ZonesModel::kTimeStep);  // the arrows only: a typed 7 stays 7
    box->setValue(ZonesModel::kInitialTime);
    return box;
}

}  // namespace

ZonesPage::ZonesPage(ZonesModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
                     TForm5& dialog, QWidget* parent)
    : PageWidget(model, workspace, prompts, link, parent), m_model(model), m_dialog(dialog) {
    setObjectName(QStringLiteral("ZonesPage"));
    auto* right = new QVBoxLayout;
    right->addWidget(buildOutputs());
    right->addWidget(buildTimers());
    right->addStretch(1);
    SpeedButton13 = createWriteButton(QStringLiteral("SpeedButton13"));
    right->addWidget(SpeedButton13, 0, Qt::AlignRight);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(buildZones(), 2);
    layout->addLayout(right, 3);
    buildHidden()->hide();
    // A zone's row stands for everything its dialog sets.
    for (int zone = 1; zone <= ZonesModel::kZoneCount; ++zone) {
        std::vector<std::string> keys;
        for (const char* name : {"type", "siren", "restore", "cid", "partition", "tclipTarget", "tclipKey", "smsTarget",
                                 "smsMessage", "smsReserve", "smsRestore"})
            keys.push_back(name + std::to_string(zone));
        marks().addCell(ValueListEditor8, zone - 1, 1, std::move(keys));
    }
    marks().addEditor(ComboBox6, "output1Mode");
    marks().addEditor(ComboBox8, "output2Mode");
    marks().addEditor(UpDown5, "entryTime");
    marks().addEditor(UpDown6, "exitTime");
    marks().addEditor(UpDown11, "sirenTime");
    marks().addEditor(UpDown12, "antiBounce");
    marks().addEditor(CheckBox5, "buzzerOff");
    refreshFromModel();
}

QWidget* ZonesPage::buildZones() {
    GroupBox16 = new QGroupBox(tr("Характеристики зон "), this);
    GroupBox16->setObjectName(QStringLiteral("GroupBox16"));
    ValueListEditor8 = new widgets::ValueListEditor(GroupBox16);
    ValueListEditor8->setObjectName(QStringLiteral("ValueListEditor8"));
    ValueListEditor8->setTitles(tr("Зона"), tr("Характеристика"));
    for (int zone = 1; zone <= ZonesModel::kZoneCount; ++zone) {
        widgets::ValueListEditor::RowSpec row;
        row.key = tr("№ %1").arg(zone);
        row.readOnly = true;
        row.ellipsis = true;
        ValueListEditor8->addRow(row);
    }
    ValueListEditor8->setMinimumWidth(kGridMinimumWidth);  // room for the type names
    ValueListEditor8->setMinimumHeight(kGridMinimumHeight);
    (new QVBoxLayout(GroupBox16))->addWidget(ValueListEditor8);
    connect(ValueListEditor8, &widgets::ValueListEditor::editButtonClicked, this,
            &ZonesPage::ValueListEditor8EditButtonClick);
    connect(ValueListEditor8, &widgets::ValueListEditor::valuesChanged, this, &ZonesPage::ValueListEditor8StringsChange);
    return GroupBox16;
}

QWidget* ZonesPage::buildOutputs() {
    auto* box = new QWidget(this);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    const QStringList modes = {tr("индикация по таймеру сирены"), tr("индикация по снятию объекта"),
                               tr("индикация по пожарной тревоге"), tr("сирена по таймеру"),
                               tr("сирена по снятию объекта")};
    auto output = [&](const QString& groupName, const QString& title, const QString& comboName,
                      const QString& listName, QComboBox*& combo, QListWidget*& list) {
        auto* group = new QGroupBox(title, box);
        group->setObjectName(groupName);
        combo = new QComboBox(group);
        combo->setObjectName(comboName);
        combo->addItems(modes);
        combo->setPlaceholderText(tr("по таймеру сирены"));
        combo->setCurrentIndex(-1);
        // Each mode shows whole once chosen: the list is as wide as its longest.
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        list = checkList(listName, partitionItems(), group);
        list->setFlow(QListView::TopToBottom);
        list->setWrapping(true);  // two columns
        auto* groupLayout = new QVBoxLayout(group);
        groupLayout->addWidget(combo);
        groupLayout->addWidget(list);
        layout->addWidget(group);
    };
    output(QStringLiteral("GroupBox18"), tr("Режим выход 1"), QStringLiteral("ComboBox6"),
           QStringLiteral("CheckListBox5"), ComboBox6, CheckListBox5);
    output(QStringLiteral("GroupBox15"), tr("Режим выход 2"), QStringLiteral("ComboBox8"),
           QStringLiteral("CheckListBox4"), ComboBox8, CheckListBox4);
    connect(ComboBox6, &QComboBox::activated, this, [this] { outputModeChanged(1); });
    connect(ComboBox8, &QComboBox::activated, this, [this] { outputModeChanged(2); });
    connect(CheckListBox5, &QListWidget::itemChanged, this, [this] {  // CheckListBox5ClickCheck
        m_model.values().output1Partitions = checkedMask(CheckListBox5);
        raiseEntry(ZonesModel::kEntryZones);
    });
    connect(CheckListBox4, &QListWidget::itemChanged, this, [this] {  // CheckListBox4ClickCheck
        m_model.values().output2Partitions = checkedMask(CheckListBox4);
        raiseEntry(ZonesModel::kEntryZones);
    });
    return box;
}

QWidget* ZonesPage::buildTimers() {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* timers = new QGroupBox(tr("Таймера, сек"), box);
    timers->setObjectName(QStringLiteral("GroupBox17"));
    UpDown5 = timeSpin(QStringLiteral("UpDown5"), QStringLiteral("Edit6"), timers);
    UpDown6 = timeSpin(QStringLiteral("UpDown6"), QStringLiteral("Edit7"), timers);
    UpDown11 = timeSpin(QStringLiteral("UpDown11"), QStringLiteral("Edit13"), timers);
    auto* grid = new QGridLayout(timers);
    const QString labels[] = {tr("Вход"), tr("Выход"), tr("Сирена")};
    widgets::SpinEdit* spins[] = {UpDown5, UpDown6, UpDown11};
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(new QLabel(labels[i], timers), 0, i);
        grid->addWidget(spins[i], 1, i);
    }
    // Edit6Change, Edit7Change, Edit13Change.
    auto timer = [this](int ZonesModel::Values::*field) {
        return [this, field](int value) {
            m_model.values().*field = value;
            raiseEntry(ZonesModel::kEntryZones);
        };
    };
    connect(UpDown5, &QSpinBox::valueChanged, this, timer(&ZonesModel::Values::entryTime));
    connect(UpDown6, &QSpinBox::valueChanged, this, timer(&ZonesModel::Values::exitTime));
    connect(UpDown11, &QSpinBox::valueChanged, this, timer(&ZonesModel::Values::sirenTime));
    layout->addWidget(timers);

    auto* buzzer = new QGroupBox(tr("Зуммер прибора"), box);
    buzzer->setObjectName(QStringLiteral("GroupBox23"));
    CheckBox5 = new QCheckBox(tr("Отключить зуммер"), buzzer);
    CheckBox5->setObjectName(QStringLiteral("CheckBox5"));
    (new QVBoxLayout(buzzer))->addWidget(CheckBox5);
    layout->addWidget(buzzer);
    // Raises no entry: the page button and the whole-image encoders read it as it is.
    connect(CheckBox5, &QCheckBox::toggled, this, [this](bool on) { m_model.values().buzzerOff = on; });

    auto* bounce = new QFormLayout;
    UpDown12 = new widgets::SpinEdit(QStringLiteral("UpDown12"), QStringLiteral("Edit14"), box);
    UpDown12->setRange(ZonesModel::kMinAntiBounce, ZonesModel::kMaxAntiBounce);
    auto* bounceLabel = new QLabel(tr("Количество сработок по зоне (антидребезг)"), box);
    bounceLabel->setWordWrap(true);
    bounce->addRow(bounceLabel, UpDown12);
    layout->addLayout(bounce);
    // No entry either; the page button writes it.
    connect(UpDown12, &QSpinBox::valueChanged, this, [this](int value) { m_model.values().antiBounce = value; });
    return box;
}

QWidget* ZonesPage::buildHidden() {
    auto* box = new QWidget(this);
    auto* layout = new QHBoxLayout(box);
    RadioGroup1 = new QGroupBox(tr("Отслеживать тампер"), box);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1Items = new QButtonGroup(RadioGroup1);
    auto* radios = new QVBoxLayout(RadioGroup1);
    const QString items[] = {tr("Нет"), tr("Да")};
    for (int i = 0; i < 2; ++i) {
        auto* button = new QRadioButton(items[i], RadioGroup1);
        RadioGroup1Items->addButton(button, i);
        radios->addWidget(button);
    }
    RadioGroup1Items->button(0)->setChecked(true);
    connect(RadioGroup1Items, &QButtonGroup::idClicked, this, [this](int id) {  // RadioGroup1Click
        m_model.values().tamper = id;
        applyTamper(id);
        raiseEntry(ZonesModel::kEntryZones);
    });
    auto* start = new QGroupBox(tr("Начальный № зоны"), box);
    start->setObjectName(QStringLiteral("GroupBox13"));
    ComboBox5 = new QComboBox(start);
    ComboBox5->setObjectName(QStringLiteral("ComboBox5"));
    ComboBox5->addItems({tr("Зона 5"), tr("Зона 9"), tr("Зона 17")});
    (new QVBoxLayout(start))->addWidget(ComboBox5);
    connect(ComboBox5, &QComboBox::activated, this, [this](int index) {  // ComboBox5Change
        m_model.values().startZone = index;
        raiseEntry(ZonesModel::kEntryZones);
    });
    auto* faults = new QGroupBox(tr("Игнорировать неисправность зон"), box);
    faults->setObjectName(QStringLiteral("GroupBox14"));
    QStringList expanderItems;
    for (int i = 1; i <= ZonesModel::kExpanderZones; ++i) expanderItems << tr("Зона расширителя %1").arg(i);
    CheckListBox3 = checkList(QStringLiteral("CheckListBox3"), expanderItems, faults);
    (new QVBoxLayout(faults))->addWidget(CheckListBox3);
    connect(CheckListBox3, &QListWidget::itemChanged, this, [this] {  // CheckListBox3ClickCheck
        m_model.values().expanderFaults = checkedMask(CheckListBox3);
        raiseEntry(ZonesModel::kEntryZones);
    });
    Memo5 = new QPlainTextEdit(box);
    Memo5->setObjectName(QStringLiteral("Memo5"));
    layout->addWidget(RadioGroup1);
    layout->addWidget(start);
    layout->addWidget(faults);
    layout->addWidget(Memo5);
    return box;
}

void ZonesPage::showOutputList(QListWidget* list, int mode, std::uint8_t mask) {
    list->setEnabled(!ZonesModel::isSirenMode(mode));
    showMask(list, mask);
}

// ComboBox6Change / ComboBox8Change: a siren mode disables and clears the list.
void ZonesPage::outputModeChanged(int output) {
    QComboBox* combo = output == 1 ? ComboBox6 : ComboBox8;
    m_model.setOutputMode(output, combo->currentIndex());
    raiseEntry(ZonesModel::kEntryZones);
    const auto& v = m_model.values();
    if (output == 1)
        showOutputList(CheckListBox5, v.output1Mode, v.output1Partitions);
    else
        showOutputList(CheckListBox4, v.output2Mode, v.output2Partitions);
}

void ZonesPage::applyTamper(int tamper) {
    if (tamper == m_shownTamper) return;
    m_shownTamper = tamper;
    GroupBox16->setEnabled(tamper != 0);
}

void ZonesPage::ValueListEditor8StringsChange() { raiseEntry(ZonesModel::kEntryZones); }

void ZonesPage::ValueListEditor8EditButtonClick(int row) {
    const int zone = row + 1;
    if (zone < 1 || zone > ZonesModel::kZoneCount) return;
    m_dialog.loadZone(zone, m_model.routing(zone));
    if (!m_dialog.run()) return;
    m_model.applyRouting(zone, m_dialog.zoneRouting());
    const RefreshScope scope(*this);
    ValueListEditor8->setValue(row, io::coreText(m_model.values().zoneTexts[static_cast<std::size_t>(row)]));
}

void ZonesPage::Timer3Timer(const QString& status) {
    const int lines = Memo5->toPlainText().isEmpty() ? 0 : Memo5->document()->blockCount();
    Memo5->appendPlainText(QString::number(lines) + QStringLiteral(". ") + status);
    m_model.queueRepeatedWriteJobs(m_workspace);
}

void ZonesPage::refreshFromModel() {
    const RefreshScope scope(*this);
    const ZonesModel::Values v = m_model.values();  // the editors' signals write back into the model
    for (int row = 0; row < ZonesModel::kZoneCount; ++row)
        ValueListEditor8->setValue(row, io::coreText(v.zoneTexts[static_cast<std::size_t>(row)]));
    {
        const QSignalBlocker b1(ComboBox6), b2(ComboBox8), b3(ComboBox5);
        ComboBox6->setCurrentIndex(v.output1Mode);
        ComboBox8->setCurrentIndex(v.output2Mode);
        ComboBox5->setCurrentIndex(v.startZone);
    }
    showOutputList(CheckListBox5, v.output1Mode, v.output1Partitions);
    showOutputList(CheckListBox4, v.output2Mode, v.output2Partitions);
    showMask(CheckListBox3, v.expanderFaults);
    if (QAbstractButton* item = RadioGroup1Items->button(v.tamper)) item->setChecked(true);
    applyTamper(v.tamper);
    UpDown5->setValue(v.entryTime);
    UpDown6->setValue(v.exitTime);
    UpDown11->setValue(v.sirenTime);
    UpDown12->setValue(v.antiBounce);
    CheckBox5->setChecked(v.buzzerOff);
    m_model.values() = v;
}

}  // namespace kv6::pages
