#include "pages/journal/journal_page.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kv6::journal {

namespace {
enum Column { kTime, kCode, kEvent, kPartition, kZone };
}

JournalPage::JournalPage(JournalModel& model, image::Workspace& workspace, Prompts& prompts,
                         pages::WriteLink& link, std::function<int()> zoneHours, QWidget* parent)
    : QWidget(parent),
      m_model(model),
      m_workspace(workspace),
      m_prompts(prompts),
      m_link(link),
      m_zoneHours(std::move(zoneHours)) {
    setObjectName(QStringLiteral("JournalPage"));
    ListView3 = new QTreeWidget(this);
    ListView3->setObjectName(QStringLiteral("ListView3"));
    ListView3->setRootIsDecorated(false);
    ListView3->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView3->setHeaderLabels({tr("Время"), tr("Код"), tr("Событие"), tr("Раздел/Прибор"), tr("Зона/Код")});
    // Wide enough for a whole time in the platform's font.
    ListView3->setColumnWidth(kTime, ListView3->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00-00-00")) + 16);
    ListView3->setColumnHidden(kCode, true);  // a column of width 0: there, but never seen
    ListView3->setColumnWidth(kEvent, 250);
    ListView3->setColumnWidth(kPartition, 100);
    ListView3->setColumnWidth(kZone, 100);

    GroupBox26 = new QGroupBox(tr("Состояние прибора"), this);
    GroupBox26->setObjectName(QStringLiteral("GroupBox26"));
    Memo7 = new QPlainTextEdit(GroupBox26);
    Memo7->setObjectName(QStringLiteral("Memo7"));
    Memo7->setReadOnly(true);
    QFont font = Memo7->font();
    font.setBold(true);
    Memo7->setFont(font);
    QPalette palette = Memo7->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    palette.setColor(QPalette::Text, QColor(0, 0, 128));  // navy
    Memo7->setPalette(palette);
    GroupBox26->setFixedWidth(170);
    auto* state = new QVBoxLayout(GroupBox26);
    state->addWidget(Memo7);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(ListView3, 1);
    layout->addWidget(GroupBox26);
}

void JournalPage::setDescriptions(const QStringList& lines) {
    m_descriptions.clear();
    for (const QString& line : lines) m_descriptions.push_back(line.toStdString());
}

void JournalPage::refreshFromModel() {
    ListView3->clear();
    for (const JournalRow& row : m_model.rows(m_zoneHours ? m_zoneHours() : 0, m_descriptions)) {
        auto* item = new QTreeWidgetItem(ListView3);
        item->setText(kTime, QString::fromStdString(row.time));
        item->setText(kCode, QString::fromStdString(row.code));
        item->setText(kEvent, QString::fromStdString(row.description));
        item->setText(kPartition, QString::number(row.partition));
        item->setText(kZone, QString::number(row.zone));
    }
    QStringList lines;
    for (const std::string& line : m_model.stateLines()) lines << stateLine(QString::fromStdString(line));
    Memo7->setPlainText(lines.join(QLatin1Char('\n')));
}

QString JournalPage::stateLine(const QString& line) {
    static const QRegularExpression partition(QStringLiteral("^Раздел(\\d+): (Охране|Снят)$"));
    if (line == QStringLiteral("Последний код:")) return tr("Последний код:");
    const QRegularExpressionMatch match = partition.match(line);
    if (!match.hasMatch()) return line;
    return (match.captured(2) == QStringLiteral("Снят") ? tr("Раздел%1: Снят") : tr("Раздел%1: Охране"))
        .arg(match.captured(1));
}

void JournalPage::N13Click() {
    if (!m_link.ensureLink()) return;
    if (!m_prompts.message(tr("Очистить журнал ?").toStdString(), tr(" Журнал событий").toStdString(),
                           MessageIcon::Information, MessageButtons::OkCancel))
        return;
    JournalModel::ClearJournal(m_workspace);
    m_link.startWrite();
}

}  // namespace kv6::journal
