#pragma once

#include <QStringList>
#include <functional>
#include <QWidget>

#include "common/prompts.h"
#include "image/workspace.h"
#include "pages/journal/journal_model.h"
#include "pages/common/write_link.h"

class QGroupBox;
class QPlainTextEdit;
class QTreeWidget;

namespace kv6::journal {

// The "Журнал событий" page: the journal table ListView3 and the state view
// "Состояние прибора" (Memo7). Nothing here is edited; "Очистить журнал
// событий" (N13Click) clears the journal in the module.
class JournalPage : public QWidget {
    Q_OBJECT

public:
    // `zoneHours` gives the hours of the time zone chosen on the date and time page.
    JournalPage(JournalModel& model, image::Workspace& workspace, Prompts& prompts, pages::WriteLink& link,
                std::function<int()> zoneHours, QWidget* parent = nullptr);

    // The event descriptions from parame, used from the next decode on.
    void setDescriptions(const QStringList& lines);
    // Shows what the last decode left in the model.
    void refreshFromModel();
    // "Очистить журнал событий": the question, then nine jobs clearing 246..695.
    void N13Click();

    QTreeWidget* ListView3;   // journal: "Время", "Код" (hidden), "Событие", "Раздел/Прибор", "Зона/Код"
    QGroupBox* GroupBox26;    // "Состояние прибора"
    QPlainTextEdit* Memo7;    // the state lines

private:
    // A line of the model's state view in the run's language.
    [[nodiscard]] static QString stateLine(const QString& line);

    JournalModel& m_model;
    image::Workspace& m_workspace;
    Prompts& m_prompts;
    pages::WriteLink& m_link;
    std::function<int()> m_zoneHours;
    std::vector<std::string> m_descriptions;
};

}  // namespace kv6::journal
