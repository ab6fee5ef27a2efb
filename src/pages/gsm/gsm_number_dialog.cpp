#include "pages/gsm/gsm_number_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "widgets/spin_edit.h"
#include "widgets/title_room.h"

namespace kv6::pages {

namespace {
// Positions of the function list (GsmModel::kFunctionItems).
constexpr int kRearmItem = 2;
constexpr int kArmDisarmItem = 3;
}  // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form2"));
    setModal(true);
    auto* grid = new QGridLayout;

    grid->addWidget(new QLabel(tr("Номер"), this), 0, 0);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(GsmModel::kNumberLength);
    // A character above 127 would be stored but never read back.
    Edit1->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[\\x20-\\x7E]*")), Edit1));
    grid->addWidget(Edit1, 0, 1);

    grid->addWidget(new QLabel(tr("Функция"), this), 1, 0);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({tr("Нет"), tr("Контроль"), tr("Перепостановка"), tr("Постановка/Снятие"), tr("Сервис")});
    grid->addWidget(ComboBox1, 1, 1);

    Label3 = new QLabel(tr("Разделы"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    UpDown1 = new widgets::SpinEdit(QStringLiteral("UpDown1"), QStringLiteral("Edit2"), this);
    UpDown1->setRange(GsmModel::kMinPartition, GsmModel::kMaxPartition);
    UpDown1->edit()->setReadOnly(true);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(UpDown1, 2, 1);
    Label3->hide();
    UpDown1->hide();

    Label4 = new QLabel(tr("Код:    99"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    UpDown2 = new widgets::SpinEdit(QStringLiteral("UpDown2"), QStringLiteral("Edit3"), this);
    UpDown2->setRange(GsmModel::kMinCode, GsmModel::kMaxCode);
    UpDown2->edit()->setReadOnly(true);
    // The spinner lies over the label's digits: with it the user sees "Код:"
    // and the code, without it the fixed "Код:    99".
    auto* codeRow = new QWidget(this);
    Label4->setParent(codeRow);
    UpDown2->setParent(codeRow);
    Label4->move(0, (UpDown2->sizeHint().height() - Label4->sizeHint().height()) / 2);
    UpDown2->move(Label4->fontMetrics().horizontalAdvance(tr("Код:    ")), 0);
    UpDown2->resize(UpDown2->sizeHint());
    codeRow->setMinimumSize(UpDown2->x() + UpDown2->width(), UpDown2->height());
    grid->addWidget(codeRow, 3, 0, 1, 2);

    BitBtn1 = new QPushButton(tr("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(tr("Отменить"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    new widgets::TitleRoom(this);  // "GSM номер 10"

    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TForm2::ComboBox1Change);
    ComboBox1Change();
}

void TForm2::load(int number, const GsmModel::NumberDialog& state) {
    setWindowTitle(tr("GSM номер ") + QString::number(number));
    Edit1->setText(QString::fromStdString(state.number));
    UpDown1->setValue(state.partition);
    UpDown2->setValue(state.code);
    ComboBox1->setCurrentIndex(state.functionItem);
    ComboBox1Change();
    Edit1->setFocus();
}

GsmModel::NumberDialog TForm2::result() const {
    GsmModel::NumberDialog r;
    r.number = Edit1->text().toStdString();
    r.functionItem = ComboBox1->currentIndex();
    r.partition = UpDown1->value();
    r.code = UpDown2->value();
    return r;
}

void TForm2::ComboBox1Change() {
    UpDown2->hide();
    Label4->hide();
    const int item = ComboBox1->currentIndex();
    if (item == kArmDisarmItem) {
        Label4->show();
        UpDown2->show();
    } else if (item == kRearmItem) {
        Label4->show();
    }
}

}  // namespace kv6::pages
