#include "app/port_dialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "widgets/title_room.h"

namespace kv6::app {

namespace {

// UpDown1: the number of a numbered port; beside a device path it shows no
// number, which would read as that port's ("1" beside /dev/ttyUSB0). Its
// position stays, so that its arrows go on from the last number.
class PortSpinner final : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

    void setNumberShown(bool shown) {
        if (m_numberShown == shown) return;
        m_numberShown = shown;
        lineEdit()->setText(textFromValue(value()));
    }
    [[nodiscard]] bool numberShown() const { return m_numberShown; }

protected:
    QString textFromValue(int value) const override {
        return m_numberShown ? QSpinBox::textFromValue(value) : QString();
    }
    // An arrow beside a path puts a number in its place.
    void stepBy(int steps) override {
        if (m_numberShown) {
            QSpinBox::stepBy(steps);
            return;
        }
        setNumberShown(true);
        const int before = value();
        QSpinBox::stepBy(steps);
        if (value() == before) emit valueChanged(value());  // at a limit: the number still replaces the path
    }
    StepEnabled stepEnabled() const override {
        return m_numberShown ? QSpinBox::stepEnabled() : StepEnabled(StepUpEnabled | StepDownEnabled);
    }

private:
    bool m_numberShown = true;
};

}  // namespace

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
    UpDown1 = new PortSpinner(this);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setRange(kPortMin, kPortMax);
    UpDown1->setValue(kPortMin);
    UpDown1->setWrapping(false);
    BitBtn1 = new QPushButton(tr("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);

    RefreshButton = new QPushButton(tr("Обновить"), this);
    RefreshButton->setObjectName(QStringLiteral("RefreshButton"));
    RefreshButton->setAutoDefault(false);
    connect(RefreshButton, &QPushButton::clicked, this, &TForm4::refreshPorts);
    PermissionHint = new QLabel(this);
    PermissionHint->setObjectName(QStringLiteral("PermissionHint"));
    PermissionHint->setWordWrap(true);
    PermissionHint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    PermissionHint->hide();
    // A listed port stands for its path: the path is what param2 keeps.
    connect(Edit1, &QComboBox::activated, this, [this](int index) {
        const QString path = Edit1->itemData(index).toString();
        if (!path.isEmpty()) setPortText(path);
    });

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
    row->addWidget(RefreshButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(PermissionHint);
    layout->addWidget(BitBtn1, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    new widgets::TitleRoom(this);
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

void TForm4::refreshPorts() { setAvailablePorts(withPortsInUse(systemPortEntries())); }

// The system does not list pseudo-terminals (a simulated module's line): a
// path this run has used is listed too while it exists, also after another
// port was chosen, so that the user can go back to it.
std::vector<SerialPortEntry> TForm4::withPortsInUse(std::vector<SerialPortEntry> ports) {
    const QString current = portText().trimmed();
    if (current.startsWith(QLatin1Char('/')) && !m_portsInUse.contains(current)) m_portsInUse << current;
    for (const QString& path : std::as_const(m_portsInUse)) {
        const QFileInfo device(path);
        const bool listed =
            std::any_of(ports.begin(), ports.end(), [&](const SerialPortEntry& port) { return port.path == path; });
        if (listed || !device.exists()) continue;
        const QString about = path.startsWith(QStringLiteral("/dev/pts/")) ? tr("псевдотерминал") : QString();
        ports.push_back({path, about, {}, {}, {}, device.isReadable() && device.isWritable()});
    }
    return ports;
}

void TForm4::setAvailablePorts(const QStringList& devices) {
    std::vector<SerialPortEntry> ports;
    for (const QString& device : devices) ports.push_back({device, {}, {}, {}, {}, true});
    setAvailablePorts(ports);
}

void TForm4::setAvailablePorts(const std::vector<SerialPortEntry>& ports) {
    const QString text = Edit1->currentText();
    QStringList refused;
    {
        const QSignalBlocker blocker(Edit1);
        Edit1->clear();
        for (const SerialPortEntry& port : ports) {
            Edit1->addItem(port.label(), port.path);
            if (!port.accessible) refused << port.path;
        }
        Edit1->setEditText(text);
    }
    // The descriptions are longer than a typed port: the list shows them whole.
    Edit1->view()->setMinimumWidth(Edit1->view()->sizeHintForColumn(0) + 2 * Edit1->view()->frameWidth());
    PermissionHint->setText(
        tr("Нет прав на порт %1. Добавьте пользователя в группу dialout: sudo adduser $USER dialout, "
           "затем выйдите из системы и войдите снова.")
            .arg(refused.join(QStringLiteral(", "))));
    PermissionHint->setVisible(!refused.isEmpty());
}

void TForm4::syncSpinnerFromText(const QString& text) {
    bool ok = false;
    const int number = text.trimmed().toInt(&ok, 10);
    const QSignalBlocker blocker(UpDown1);
    static_cast<PortSpinner*>(UpDown1)->setNumberShown(ok);
    if (ok) UpDown1->setValue(number);
}

}  // namespace kv6::app
