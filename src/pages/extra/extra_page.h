#pragma once

#include <QWidget>

class QPlainTextEdit;

namespace kv6::widgets {
class ValueListEditor;
}

namespace kv6::pages {

// The hidden page "Extra" (TabSheet7): a key list and a memo that nothing
// reads or fills; they hold no image field.
class ExtraPage : public QWidget {
    Q_OBJECT

public:
    explicit ExtraPage(QWidget* parent = nullptr);

    widgets::ValueListEditor* ValueListEditor7;
    QPlainTextEdit* Memo4;
};

}  // namespace kv6::pages
