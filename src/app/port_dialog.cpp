#include "app/port_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QSpinBox>

namespace kv6::app {

TForm4::TForm4(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(tr("Выбрать порт"));

    Label1 = new QLabel(tr("Последовательный порт: "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Edit1 = new QComboBox(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setEditable(true);
    Edit1->setInsertPolicy(QComboBox::NoInsert);
    Edit1->setMinimumContentsLength(14);
    Edit1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Edit1->setEditText(QStringLiteral("1"));
    UpDown1 = new QSpinBox(this);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setRange(kPortMin, kPortMax);
    UpDown1->setValue(kPortMin);
    UpDown1->setWrapping(false);
    BitBtn1 = new QPushButton(tr("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);

    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    Edit1->installEventFilter(this);
    Edit1->lineEdit()->installEventFilter(this);
    connect(Edit1, &QComboBox::editTextChanged, this, &TForm4::syncSpinnerFromText);
    connect(UpDown1, &QSpinBox::valueChanged, this, [this](int value) {
        const QSignalBlocker blocker(Edit1);
        Edit1->setEditText(QString::number(value));
    });

    auto* row = new QHBoxLayout;
    row->addWidget(Label1);
    row->addWidget(Edit1, 1);
    row->addWidget(UpDown1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(BitBtn1, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

// Edit1KeyPress: Enter closes the dialog with the port as shown, as OK does.
// Left to the combo box, Enter would first replace the text with the current
// entry of the system's port list.
bool TForm4::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == Edit1 || watched == Edit1->lineEdit())) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TForm4::setPortText(const QString& text) {
    Edit1->setEditText(text);
    syncSpinnerFromText(text);
}

QString TForm4::portText() const { return Edit1->currentText(); }

void TForm4::refreshPorts() {
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) devices << info.systemLocation();
    setAvailablePorts(devices);
}

void TForm4::setAvailablePorts(const QStringList& devices) {
    const QString text = Edit1->currentText();
    const QSignalBlocker blocker(Edit1);
    Edit1->clear();
    Edit1->addItems(devices);
    Edit1->setEditText(text);
}

void TForm4::syncSpinnerFromText(const QString& text) {
    bool ok = false;
    const int number = text.trimmed().toInt(&ok, 10);
    if (!ok) return;
    const QSignalBlocker blocker(UpDown1);
    UpDown1->setValue(number);
}

}  // namespace kv6::app
