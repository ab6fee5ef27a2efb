#include "pages/common/partition_list_widget.h"

#include <QSignalBlocker>

namespace kv6::pages {

namespace {
constexpr int kPartitions = 8;
constexpr int kRowsPerColumn = 4;
}  // namespace

PartitionListWidget::PartitionListWidget(QWidget* parent) : QListWidget(parent) {
    for (int i = 0; i < kPartitions; ++i) {
        auto* item = new QListWidgetItem(tr("Раздел %1").arg(i + 1), this);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    // Two columns: items flow down four rows, then wrap.
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFixedHeight(sizeHintForRow(0) * kRowsPerColumn + 2 * frameWidth() + 4);
}

std::uint8_t PartitionListWidget::mask() const {
    std::uint8_t bits = 0;
    for (int i = 0; i < kPartitions; ++i)
        if (item(i)->checkState() == Qt::Checked) bits = static_cast<std::uint8_t>(bits | (1u << i));
    return bits;
}

void PartitionListWidget::setMask(std::uint8_t bits) {
    const QSignalBlocker blocker(this);
    for (int i = 0; i < kPartitions; ++i) item(i)->setCheckState((bits & (1u << i)) ? Qt::Checked : Qt::Unchecked);
}

}  // namespace kv6::pages
