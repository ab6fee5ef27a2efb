#include "pages/routing/tform5_dialog.h"

#include <initializer_list>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "io/core_text.h"
#include "widgets/spin_edit.h"

namespace kv6::pages {

namespace {

QComboBox* combo(const QString& name, const QStringList& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->addItems(items);
    box->setCurrentIndex(0);
    return box;
}

QCheckBox* check(const QString& name, const QString& text, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    return box;
}

QGroupBox* group(const QString& name, const QString& title, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(name);
    return box;
}

// A stored index beyond the list shows no selection.
void select(QComboBox* box, int index) {
    const QSignalBlocker blocker(box);
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

std::string ss(const QString& text) { return text.toStdString(); }
QString qs(const std::string& text) { return QString::fromStdString(text); }

// The widgets one under another in a group box.
void stackInto(QWidget* box, std::initializer_list<QWidget*> widgets) {
    auto* layout = new QVBoxLayout(box);
    for (QWidget* widget : widgets) layout->addWidget(widget);
}

}  // namespace

TForm5::TForm5(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form5"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    QStringList targets{tr("Выкл.")};
    for (int i = 1; i <= 10; ++i) targets << tr("GSM номер %1").arg(i);
    const QStringList keys{tr("Ключ 1"), tr("Ключ 2")};
    QStringList messages;
    for (int i = 1; i <= routing::kMessageCount; ++i) messages << tr("Сообщение №%1").arg(i);

    GroupBox1 = group(QStringLiteral("GroupBox1"), tr("Код Contact ID"), this);
    Edit1 = new QLineEdit(QStringLiteral("111"), GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(routing::kCodeLength);
    // Characters above 127 would not read back as typed.
    Edit1->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[\\x01-\\x7F]*")), Edit1));
    (new QVBoxLayout(GroupBox1))->addWidget(Edit1);
    GroupBox2 = group(QStringLiteral("GroupBox2"), tr("Тип информации"), this);
    ComboBox9 = combo(QStringLiteral("ComboBox9"), {tr("Нет"), tr("Код"), tr("Зона"), tr("Устройство")}, GroupBox2);
    (new QVBoxLayout(GroupBox2))->addWidget(ComboBox9);

    GroupBox7 = group(QStringLiteral("GroupBox7"), tr("Тип Зоны"), this);
    ComboBox10 = combo(QStringLiteral("ComboBox10"), {}, GroupBox7);
    Memo1 = new QPlainTextEdit(GroupBox7);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->hide();
    Edit3 = new QLineEdit(GroupBox7);
    Edit3->setObjectName(QStringLiteral("Edit3"));
    Edit3->setMaxLength(3);
    // A zone code is stored as three digits; other characters would read back as others.
    Edit3->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), Edit3));
    StaticText1 = new QLabel(tr("Код CID: "), GroupBox7);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    CheckBox1 = check(QStringLiteral("CheckBox1"), tr("Сирена"), GroupBox7);
    CheckBox3 = check(QStringLiteral("CheckBox3"), tr("Передавать Восстановление"), GroupBox7);
    UpDown1 = new widgets::SpinEdit(QStringLiteral("UpDown1"), QStringLiteral("Edit2"), GroupBox7);
    UpDown1->setRange(1, routing::kPartitionCount);
    CheckBox2 = check(QStringLiteral("CheckBox2"), tr("Зона внешнего расширителя"), GroupBox7);
    auto* zoneLayout = new QGridLayout(GroupBox7);
    zoneLayout->addWidget(ComboBox10, 0, 0, 1, 2);
    zoneLayout->addWidget(StaticText1, 1, 0);
    zoneLayout->addWidget(Edit3, 1, 1);
    zoneLayout->addWidget(CheckBox1, 2, 0);
    zoneLayout->addWidget(CheckBox3, 2, 1);
    zoneLayout->addWidget(new QLabel(tr("Раздел"), GroupBox7), 3, 0);
    zoneLayout->addWidget(UpDown1, 3, 1);
    zoneLayout->addWidget(CheckBox2, 4, 0, 1, 2);

    GroupBox3 = group(QStringLiteral("GroupBox3"), tr("Тип События "), this);
    auto* tclip = group(QStringLiteral("GroupBox4"), tr("TCLIP"), GroupBox3);
    ComboBox1 = combo(QStringLiteral("ComboBox1"), targets, tclip);
    ComboBox2 = combo(QStringLiteral("ComboBox2"), keys, tclip);
    stackInto(tclip, {ComboBox1, ComboBox2});
    auto* sms = group(QStringLiteral("GroupBox5"), tr("SMS"), GroupBox3);
    ComboBox3 = combo(QStringLiteral("ComboBox3"), targets, sms);
    ComboBox7 = combo(QStringLiteral("ComboBox7"), messages, sms);
    CheckBox5 = check(QStringLiteral("CheckBox5"), tr("Передавать Восст."), sms);
    stackInto(sms, {ComboBox3, ComboBox7, CheckBox5});
    CheckBox4 = check(QStringLiteral("CheckBox4"), tr("Вкл. Резервный SMS канал"), GroupBox3);
    auto* eventLayout = new QGridLayout(GroupBox3);
    eventLayout->addWidget(tclip, 0, 0);
    eventLayout->addWidget(sms, 0, 1);
    eventLayout->addWidget(CheckBox4, 1, 0, 1, 2);

    GroupBox6 = group(QStringLiteral("GroupBox6"), tr("Тип События - R (Восстановление)"), this);
    auto* restoreTclip = group(QStringLiteral("GroupBox8"), tr("TCLIP"), GroupBox6);
    ComboBox4 = combo(QStringLiteral("ComboBox4"), targets, restoreTclip);
    ComboBox5 = combo(QStringLiteral("ComboBox5"), keys, restoreTclip);
    stackInto(restoreTclip, {ComboBox4, ComboBox5});
    auto* restoreSms = group(QStringLiteral("GroupBox9"), tr("SMS"), GroupBox6);
    ComboBox6 = combo(QStringLiteral("ComboBox6"), targets, restoreSms);
    ComboBox8 = combo(QStringLiteral("ComboBox8"), messages.mid(0, routing::kRestoreMessageCount), restoreSms);
    stackInto(restoreSms, {ComboBox6, ComboBox8});
    auto* restoreLayout = new QHBoxLayout(GroupBox6);
    restoreLayout->addWidget(restoreTclip);
    restoreLayout->addWidget(restoreSms);
    GroupBox6->hide();

    // Why OK is disabled, under the groups; empty while OK is usable.
    StaticText2 = new QLabel(this);
    StaticText2->setObjectName(QStringLiteral("StaticText2"));
    StaticText2->setStyleSheet(QStringLiteral("color: rgb(128, 0, 0)"));
    StaticText2->hide();

    BitBtn1 = new QPushButton(tr("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(tr("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(GroupBox1);
    top->addWidget(GroupBox2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(GroupBox7);
    layout->addWidget(GroupBox3);
    layout->addWidget(GroupBox6);
    layout->addWidget(StaticText2);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ComboBox10, &QComboBox::currentIndexChanged, this, &TForm5::ComboBox10Change);
    connect(CheckBox3, &QCheckBox::clicked, this, &TForm5::CheckBox3Click);
    connect(Edit3, &QLineEdit::textEdited, this, [this] {
        m_codeTyped = true;
        updateOk();
    });
    GroupBox7->hide();
}

void TForm5::setZoneTypes(const ZoneTypeList& types) {
    const QSignalBlocker blocker(ComboBox10);
    ComboBox10->clear();
    Memo1->clear();
    if (!types.hasNumbers()) return;
    QStringList codes;
    for (int i = 0; i < types.size(); ++i) {
        ComboBox10->addItem(io::coreText(types.name(i)));
        codes << qs(types.code(i));
    }
    Memo1->setPlainText(codes.join(QLatin1Char('\n')));
    ComboBox10->setCurrentIndex(0);
    Edit3->setText(codes.value(0));
    StaticText1->setText(tr("Код CID: ") + Edit3->text());
}

void TForm5::loadEvent(const QString& caption, const EventRouting& r) {
    m_codeTyped = false;
    updateOk();
    GroupBox7->hide();
    GroupBox1->show();
    GroupBox2->show();
    setWindowTitle(tr("Код Contact ID ") + caption);
    Edit1->setText(caption);
    select(ComboBox1, r.tclipTarget);
    select(ComboBox2, r.tclipKey);
    select(ComboBox4, r.tclipRestoreTarget);
    select(ComboBox5, r.tclipRestoreKey);
    select(ComboBox9, r.infoType);
    select(ComboBox3, r.smsTarget);
    select(ComboBox7, r.smsMessage);
    select(ComboBox6, r.smsRestoreTarget);
    select(ComboBox8, r.smsRestoreMessage);
}

EventRouting TForm5::eventRouting() const {
    EventRouting r;
    r.code = ss(Edit1->text());
    r.tclipTarget = ComboBox1->currentIndex();
    r.tclipKey = ComboBox2->currentIndex();
    r.tclipRestoreTarget = ComboBox4->currentIndex();
    r.tclipRestoreKey = ComboBox5->currentIndex();
    r.smsTarget = ComboBox3->currentIndex();
    r.smsRestoreTarget = ComboBox6->currentIndex();
    r.smsMessage = ComboBox7->currentIndex();
    r.smsRestoreMessage = ComboBox8->currentIndex();
    r.infoType = ComboBox9->currentIndex();
    return r;
}

void TForm5::loadZone(int zone, const ZoneRouting& r) {
    GroupBox7->show();
    GroupBox1->hide();
    GroupBox2->hide();
    setWindowTitle(tr("Зона № ") + QString::number(zone));
    select(ComboBox10, r.typeIndex);
    CheckBox1->setChecked(r.siren);
    CheckBox3->setChecked(r.restore);
    Edit3->setText(qs(r.code));
    StaticText1->setText(tr("Код CID: ") + Edit3->text());
    UpDown1->setValue(r.partition);
    select(ComboBox1, r.tclipTarget);
    select(ComboBox2, r.tclipKey);
    select(ComboBox3, r.smsTarget);
    select(ComboBox7, r.smsMessage);
    CheckBox2->setVisible(r.expanderShown);
    CheckBox2->setChecked(r.expander);
    CheckBox4->setChecked(r.smsReserve);
    CheckBox5->setChecked(r.smsRestore);
    m_codeTyped = false;
    updateOk();
}

ZoneRouting TForm5::zoneRouting() const {
    ZoneRouting r;
    r.typeIndex = ComboBox10->currentIndex();
    r.siren = CheckBox1->isChecked();
    r.restore = CheckBox3->isChecked();
    r.code = ss(Edit3->text());
    r.partition = UpDown1->value();
    r.tclipTarget = ComboBox1->currentIndex();
    r.tclipKey = ComboBox2->currentIndex();
    r.smsTarget = ComboBox3->currentIndex();
    r.smsMessage = ComboBox7->currentIndex();
    r.expanderShown = !CheckBox2->isHidden();
    r.expander = CheckBox2->isChecked();
    r.smsReserve = CheckBox4->isChecked();
    r.smsRestore = CheckBox5->isChecked();
    return r;
}

bool TForm5::run() {
    if (m_runner) return m_runner(*this);
    return exec() == QDialog::Accepted;
}

void TForm5::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

// "Передавать Восст." follows "Передавать Восстановление" each time the dialog opens.
void TForm5::FormShow() {
    updateCodeVisibility();
    CheckBox5->setChecked(CheckBox3->isChecked());
    CheckBox5->setEnabled(CheckBox3->isChecked());
}

void TForm5::ComboBox10Change() {
    const QStringList codes = Memo1->toPlainText().split(QLatin1Char('\n'));
    Edit3->setText(codes.value(ComboBox10->currentIndex()));
    StaticText1->setText(tr("Код CID: ") + Edit3->text());
    m_codeTyped = false;  // the type's own code replaces what was typed
    updateOk();
    updateCodeVisibility();
}

// A zone code is stored as three digits: a shorter one typed would be lost
// on OK, so OK waits for three and says so.
void TForm5::updateOk() {
    const bool refused = m_codeTyped && !QRegularExpression(QStringLiteral("^[0-9]{3}$")).match(Edit3->text()).hasMatch();
    StaticText2->setText(refused ? tr("Код Contact ID должен состоять из трёх цифр") : QString());
    StaticText2->setVisible(refused);
    BitBtn1->setEnabled(!refused);
}

void TForm5::CheckBox3Click() {
    CheckBox5->setEnabled(CheckBox3->isChecked());
    if (!CheckBox3->isChecked()) CheckBox5->setChecked(false);
}

// Only the "24" types take a code of their own.
void TForm5::updateCodeVisibility() { Edit3->setVisible(ComboBox10->currentText().contains(QStringLiteral("24"))); }

}  // namespace kv6::pages
