#include "pages/object/object_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

#include "widgets/spin_edit.h"
#include "widgets/value_list_editor.h"

namespace kv6::pages {

namespace {

using widgets::ValueListEditor;

// Rows of ValueListEditor1 and ValueListEditor2.
enum IdentityRow { kObjectRow, kReceiverRow, kLineRow };
enum ConnectionRow { kIpRow, kPortRow, kApnRow, kUserRow, kPasswordRow, kIp2Row, kPort2Row };

// What a semicolon-terminated field keeps: printable ASCII without ';'.
const QString kDelimitedText = QStringLiteral("[\\x20-\\x3A\\x3C-\\x7E]*");

ValueListEditor::RowSpec row(const QString& key, const QString& mask = {}, int maxLength = 0,
                             const QString& pattern = {}) {
    ValueListEditor::RowSpec spec;
    spec.key = key;
    spec.editMask = mask;
    spec.maxLength = maxLength;
    spec.allowedPattern = pattern;
    return spec;
}

QString qs(const std::string& text) { return QString::fromStdString(text); }
std::string ss(const QString& text) { return text.toStdString(); }

widgets::SpinEdit* spin(const QString& spinner, const QString& edit, int min, int max, QWidget* parent) {
    auto* box = new widgets::SpinEdit(spinner, edit, parent);
    box->setRange(min, max);
    return box;
}

}  // namespace

ObjectPage::ObjectPage(ObjectModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link,
                       QWidget* parent)
    : PageWidget(model, workspace, prompts, link, parent), m_model(model) {
    setObjectName(QStringLiteral("ObjectPage"));
    auto* group = new QGroupBox(tr("Настройки Объекта"), this);
    auto* left = new QVBoxLayout;
    left->addWidget(buildIdentity());
    left->addWidget(buildConnection(), 1);
    left->addWidget(buildSecondIp());
    auto* right = new QVBoxLayout;
    right->addWidget(buildPin());
    right->addWidget(buildTiming());
    right->addStretch(1);
    SpeedButton9 = createWriteButton(QStringLiteral("SpeedButton9"));
    right->addWidget(SpeedButton9, 0, Qt::AlignRight);
    auto* columns = new QHBoxLayout(group);
    columns->addLayout(left, 2);
    columns->addLayout(right, 1);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(group);

    UpDown3 = spin(QStringLiteral("UpDown3"), QStringLiteral("Edit3"), 0, ObjectModel::kMaxCodeDigits, this);
    UpDown3->setMaxTypedLength(3);
    UpDown3->hide();
    connect(UpDown3, &QSpinBox::valueChanged, this, [this](int value) {  // Edit3Change
        m_model.values().codeDigits = value;
        raiseEntry(ObjectModel::kEntryCodeDigits);
    });
    setAdvancedVisible(false);
    markFields();
    refreshFromModel();
}

void ObjectPage::markFields() {
    FieldMarksView& m = marks();
    const char* identity[] = {"objectNumber", "receiverNumber", "lineNumber"};
    for (int row = 0; row < 3; ++row) m.addCell(ValueListEditor1, row, 1, {identity[row]});
    const char* connection[] = {"ipAddress", "ipPort", "apn", "gprsUser", "gprsPassword", "ipAddress2", "ipPort2"};
    for (int row = 0; row < 7; ++row) m.addCell(ValueListEditor2, row, 1, {connection[row]});
    m.addEditor(RadioGroup2, "secondIpMode");
    m.addEditor(CheckBox1, "pinEnabled");
    m.addEditor(Edit5, "pin");
    m.addEditor(UpDown4, "pollTimeMinutes");
    m.addEditor(UpDown8, "attemptsIp1");
    m.addEditor(UpDown9, "attemptsIp2");
    m.addEditor(UpDown7, "attemptTimeSeconds");
    m.addEditor(CheckBox2, "gprsChannelOff");
    m.addEditor(CheckBox4, "programmingMessage");
}

QWidget* ObjectPage::buildIdentity() {
    ValueListEditor1 = new ValueListEditor(this);
    ValueListEditor1->setObjectName(QStringLiteral("ValueListEditor1"));
    ValueListEditor1->setTitles(tr("Свойства Объекта"), tr("Значение"));
    ValueListEditor1->addRow(row(tr("Объект №"), QStringLiteral("000000")));
    ValueListEditor1->addRow(row(tr("Приемник №"), QStringLiteral("AAAA")));
    ValueListEditor1->addRow(row(tr("Линия №"), QStringLiteral("AAAA")));
    connect(ValueListEditor1, &ValueListEditor::valuesChanged, this, &ObjectPage::ValueListEditor1StringsChange);
    return ValueListEditor1;
}

QWidget* ObjectPage::buildConnection() {
    ValueListEditor2 = new ValueListEditor(this);
    ValueListEditor2->setObjectName(QStringLiteral("ValueListEditor2"));
    ValueListEditor2->setTitles(tr("IP соединение"), tr("Значение"));
    const QString ipMask = QStringLiteral("000.000.000.000");
    ValueListEditor2->addRow(row(tr("IP адрес"), ipMask));
    ValueListEditor2->addRow(row(tr("IP порт"), QStringLiteral("0000")));
    ValueListEditor2->addRow(row(tr("Точка доступа (APN)"), {}, ObjectModel::kApnLength, kDelimitedText));
    ValueListEditor2->addRow(row(tr("Пользователь"), {}, ObjectModel::kUserLength, kDelimitedText));
    ValueListEditor2->addRow(row(tr("Пароль"), {}, ObjectModel::kPasswordLength, kDelimitedText));
    ValueListEditor2->addRow(row(tr("IP адрес 2"), ipMask));
    ValueListEditor2->addRow(row(tr("IP порт 2"), QStringLiteral("0000")));
    // The grid ends with one empty row that holds nothing.
    ValueListEditor::RowSpec empty;
    empty.readOnly = true;
    ValueListEditor2->addRow(empty);
    connect(ValueListEditor2, &ValueListEditor::valuesChanged, this, &ObjectPage::ValueListEditor2StringsChange);
    return ValueListEditor2;
}

QWidget* ObjectPage::buildSecondIp() {
    RadioGroup2 = new QGroupBox(tr("Передача на второй IP адрес"), this);
    RadioGroup2->setObjectName(QStringLiteral("RadioGroup2"));
    RadioGroup2Items = new QButtonGroup(RadioGroup2);
    auto* items = new QHBoxLayout(RadioGroup2);
    const QString captions[] = {tr("Неиспользуется"), tr("В случае отказа IP1"), tr("Передавать всегда")};
    for (int i = 0; i < 3; ++i) {
        auto* button = new QRadioButton(captions[i], RadioGroup2);
        RadioGroup2Items->addButton(button, i);
        items->addWidget(button);
    }
    connect(RadioGroup2Items, &QButtonGroup::idClicked, this, [this](int id) {  // RadioGroup2Click
        m_model.values().secondIpMode = id;
        raiseEntry(ObjectModel::kEntryPin);
    });
    return RadioGroup2;
}

QWidget* ObjectPage::buildPin() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    Shape1 = new QFrame(box);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setStyleSheet(QStringLiteral("#Shape1 { border: 2px solid red; }"));
    Shape1->setAttribute(Qt::WA_TransparentForMouseEvents);
    Shape1->hide();
    grid->addWidget(Shape1, 0, 0, 1, 3);  // drawn around the controls of the same cell
    CheckBox1 = new QCheckBox(box);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    auto* label = new QLabel(tr("PIN код "), box);
    Edit5 = new QLineEdit(box);
    Edit5->setObjectName(QStringLiteral("Edit5"));
    Edit5->setMaxLength(ObjectModel::kPinLength);
    // A SIM PIN is digits; letters could be written but never read back.
    Edit5->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Edit5));
    auto* row = new QHBoxLayout;
    row->setContentsMargins(6, 6, 6, 6);
    row->addWidget(CheckBox1);
    row->addWidget(label);
    row->addWidget(Edit5);
    grid->addLayout(row, 0, 0, 1, 3);
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool checked) {  // CheckBox1Click
        m_model.values().pinEnabled = checked;
        raiseEntry(ObjectModel::kEntryPin);
        updatePinFrame();
    });
    connect(Edit5, &QLineEdit::textChanged, this, &ObjectPage::Edit5Change);
    return box;
}

QWidget* ObjectPage::buildTiming() {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    auto* poll = new QFormLayout;
    UpDown4 = spin(QStringLiteral("UpDown4"), QStringLiteral("Edit4"), 0, ObjectModel::kMaxPollTime, box);
    UpDown4->setMaxTypedLength(3);
    poll->addRow(tr("Время Опроса, мин"), UpDown4);
    layout->addLayout(poll);

    m_advanced = new QWidget(box);
    auto* advanced = new QFormLayout(m_advanced);
    advanced->setContentsMargins(0, 0, 0, 0);
    UpDown8 = spin(QStringLiteral("UpDown8"), QStringLiteral("Edit9"), ObjectModel::kMinAttempts,
                   ObjectModel::kMaxAttempts, m_advanced);
    UpDown9 = spin(QStringLiteral("UpDown9"), QStringLiteral("Edit10"), ObjectModel::kMinAttempts,
                   ObjectModel::kMaxAttempts, m_advanced);
    UpDown7 = spin(QStringLiteral("UpDown7"), QStringLiteral("Edit8"), ObjectModel::kMinAttemptTime,
                   ObjectModel::kMaxAttemptTime, m_advanced);
    advanced->addRow(tr("Кол-во попыток IP1"), UpDown8);
    advanced->addRow(tr("Кол-во попыток IP2"), UpDown9);
    advanced->addRow(tr("Время попытки, сек."), UpDown7);
    CheckBox2 = new QCheckBox(tr("Отключить GPRS канал"), m_advanced);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox4 = new QCheckBox(tr("Сообщение о программирование"), m_advanced);
    CheckBox4->setObjectName(QStringLiteral("CheckBox4"));
    CheckBox4->setToolTip(tr("Передавать сообщение об удаленном входе в режим программирования"));
    advanced->addRow(CheckBox2);
    advanced->addRow(CheckBox4);
    layout->addWidget(m_advanced);

    // Edit4Change, Edit8Change, Edit9Change, Edit10Change.
    auto timing = [this](int ObjectModel::Values::*field) {
        return [this, field](int value) {
            m_model.values().*field = value;
            raiseEntry(ObjectModel::kEntryTiming);
        };
    };
    connect(UpDown4, &QSpinBox::valueChanged, this, timing(&ObjectModel::Values::pollTimeMinutes));
    connect(UpDown8, &QSpinBox::valueChanged, this, timing(&ObjectModel::Values::attemptsIp1));
    connect(UpDown9, &QSpinBox::valueChanged, this, timing(&ObjectModel::Values::attemptsIp2));
    connect(UpDown7, &QSpinBox::valueChanged, this, timing(&ObjectModel::Values::attemptTimeSeconds));
    // The option check boxes raise no entry; the encoders read them as they are.
    connect(CheckBox2, &QCheckBox::toggled, this, [this](bool on) { m_model.values().gprsChannelOff = on; });
    connect(CheckBox4, &QCheckBox::toggled, this, [this](bool on) { m_model.values().programmingMessage = on; });
    return box;
}

void ObjectPage::setAdvancedVisible(bool visible) { m_advanced->setVisible(visible); }

void ObjectPage::ValueListEditor1StringsChange() {
    auto& v = m_model.values();
    v.objectNumber = ss(ValueListEditor1->value(kObjectRow));
    v.receiverNumber = ss(ValueListEditor1->value(kReceiverRow));
    v.lineNumber = ss(ValueListEditor1->value(kLineRow));
    raiseEntry(ObjectModel::kEntryIdentity);
}

void ObjectPage::ValueListEditor2StringsChange() {
    auto& v = m_model.values();
    v.ipAddress = ss(ValueListEditor2->value(kIpRow));
    v.ipPort = ss(ValueListEditor2->value(kPortRow));
    v.apn = ss(ValueListEditor2->value(kApnRow));
    v.gprsUser = ss(ValueListEditor2->value(kUserRow));
    v.gprsPassword = ss(ValueListEditor2->value(kPasswordRow));
    v.ipAddress2 = ss(ValueListEditor2->value(kIp2Row));
    v.ipPort2 = ss(ValueListEditor2->value(kPort2Row));
    raiseEntry(ObjectModel::kEntryConnection);
}

void ObjectPage::Edit5Change() {
    m_model.values().pin = ss(Edit5->text());
    raiseEntry(ObjectModel::kEntryPin);
    updatePinFrame();
}

void ObjectPage::updatePinFrame() {
    Shape1->setVisible(CheckBox1->isChecked() && Edit5->text().size() != ObjectModel::kPinLength);
}

void ObjectPage::refreshFromModel() {
    const RefreshScope scope(*this);
    const ObjectModel::Values v = m_model.values();  // the editors' signals write back into the model
    ValueListEditor1->setValue(kObjectRow, qs(v.objectNumber));
    ValueListEditor1->setValue(kReceiverRow, qs(v.receiverNumber));
    ValueListEditor1->setValue(kLineRow, qs(v.lineNumber));
    ValueListEditor2->setValue(kIpRow, qs(v.ipAddress));
    ValueListEditor2->setValue(kPortRow, qs(v.ipPort));
    ValueListEditor2->setValue(kApnRow, qs(v.apn));
    ValueListEditor2->setValue(kUserRow, qs(v.gprsUser));
    ValueListEditor2->setValue(kPasswordRow, qs(v.gprsPassword));
    ValueListEditor2->setValue(kIp2Row, qs(v.ipAddress2));
    ValueListEditor2->setValue(kPort2Row, qs(v.ipPort2));
    if (QAbstractButton* item = RadioGroup2Items->button(v.secondIpMode)) item->setChecked(true);
    UpDown3->setValue(v.codeDigits);
    UpDown4->setValue(v.pollTimeMinutes);
    UpDown7->setValue(v.attemptTimeSeconds);
    UpDown8->setValue(v.attemptsIp1);
    UpDown9->setValue(v.attemptsIp2);
    CheckBox1->setChecked(v.pinEnabled);
    Edit5->setText(qs(v.pin));
    CheckBox2->setChecked(v.gprsChannelOff);
    CheckBox4->setChecked(v.programmingMessage);
    m_model.values() = v;
    updatePinFrame();
}

}  // namespace kv6::pages
