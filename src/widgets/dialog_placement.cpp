#include "widgets/dialog_placement.h"

#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace kv6::widgets {

void centreOnWindowOf(QWidget& dialog, const QWidget& anchor) {
    const QWidget* owner = anchor.window();
    if (!owner->isVisible() || owner == &dialog) return;
    dialog.ensurePolished();
    dialog.adjustSize();
    // Until the dialog has a frame of its own, the owner's stands for it.
    const QRect ownerFrame = owner->frameGeometry();
    const QRect ownerClient = owner->geometry();
    const QMargins frame(ownerClient.left() - ownerFrame.left(), ownerClient.top() - ownerFrame.top(),
                         ownerFrame.right() - ownerClient.right(), ownerFrame.bottom() - ownerClient.bottom());
    QRect placed(QPoint(), dialog.size().grownBy(dialog.isVisible() ? QMargins() : frame));
    if (dialog.isVisible()) placed.setSize(dialog.frameGeometry().size());
    placed.moveCenter(ownerFrame.center());
    if (const QScreen* screen = owner->screen()) {
        const QRect area = screen->availableGeometry();
        placed.moveLeft(std::max(area.left(), std::min(placed.left(), area.right() + 1 - placed.width())));
        placed.moveTop(std::max(area.top(), std::min(placed.top(), area.bottom() + 1 - placed.height())));
    }
    dialog.move(placed.topLeft());
}

}  // namespace kv6::widgets
