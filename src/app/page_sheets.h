#pragma once

#include <array>

#include "app/main_window.h"

class QWidget;

namespace kv6::app {

// PageControl1's sheets: the table of TabSheet1 .. TabSheet11 in tab order,
// and the one place where each sheet gets its content. Until a page's widget
// exists a sheet shows an empty placeholder; lists from the side files reach
// the pages through the window's sideFilesLoaded().
class PageSheets {
public:
    // TabSheet1 .. TabSheet11 by their number less one.
    using Sheets = std::array<QWidget*, TForm1::kSheetCount>;

    explicit PageSheets(TForm1& window) : m_window(window) {}

    // Adds every sheet with its content to the window's PageControl1; hidden
    // sheets exist but have no tab.
    [[nodiscard]] Sheets build();

private:
    QWidget* createPageContent(int sheetNumber);

    TForm1& m_window;
};

}  // namespace kv6::app
