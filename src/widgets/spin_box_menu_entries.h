#pragma once

#include <QObject>
#include <functional>

class QAbstractSpinBox;
class QMenu;

namespace kv6::widgets {

// Entries of our own in the context menu Qt builds for a spin box (a date or
// time edit too), after its own: Undo, Cut, Copy, Paste, Delete, Select All,
// Step up and Step down stay. Qt builds that menu and runs it itself, so the
// entries go in as it is about to show; they live as long as it does.
class SpinBoxMenuEntries final : public QObject {
    Q_OBJECT

public:
    using AddEntries = std::function<void(QMenu&)>;

    // Owned by `box`.
    SpinBoxMenuEntries(QAbstractSpinBox* box, AddEntries addEntries);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AddEntries m_addEntries;
};

}  // namespace kv6::widgets
