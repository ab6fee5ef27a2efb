#include "pages/extra/extra_page.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "widgets/value_list_editor.h"

namespace kv6::pages {

ExtraPage::ExtraPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ExtraPage"));
    ValueListEditor7 = new widgets::ValueListEditor(this);
    ValueListEditor7->setObjectName(QStringLiteral("ValueListEditor7"));
    for (const char* key : {"tclip_job_max_time", "tclip_job_attempt", "ip_message_attempt", "ip_message_cycle",
                            "ip_session_maxtime"}) {
        widgets::ValueListEditor::RowSpec row;
        row.key = QString::fromLatin1(key);
        ValueListEditor7->addRow(row);
    }
    Memo4 = new QPlainTextEdit(this);
    Memo4->setObjectName(QStringLiteral("Memo4"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ValueListEditor7);
    layout->addWidget(Memo4);
}

}  // namespace kv6::pages
