#pragma once

#include "pages/events/events_model.h"
#include "pages/common/page_widget.h"

class QComboBox;
class QGroupBox;
class QListWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kv6::pages {

class TForm5;

// The hidden page "События" (TabSheet4): the event routing table, the
// hidden indication group, and the write button SpeedButton10, which sends
// only what was edited since the last write and is enabled from the start.
class EventsPage : public PageWidget {
    Q_OBJECT

public:
    EventsPage(EventsModel& model, image::Workspace& workspace, Prompts& prompts, WriteLink& link, TForm5& dialog,
               QWidget* parent = nullptr);

    void refreshFromModel() override;
    // Double click on a row: the routing dialog in event mode.
    void ListView1DblClick();

    QTreeWidget* ListView1;      // the table: code, "TCLIP", "SMS"
    QGroupBox* GroupBox10;       // hidden "Индикация "
    QComboBox* ComboBox3;        // LED mode (belongs to the main window's form)
    QComboBox* ComboBox4;        // "по пожарной тревоге", not stored
    QListWidget* CheckListBox2;  // indication partitions
    QToolButton* SpeedButton10;  // write the page

private:
    void showRow(int row);

    EventsModel& m_model;
    TForm5& m_dialog;
};

}  // namespace kv6::pages
