#pragma once

#include <QListWidget>
#include <cstdint>

namespace kv6::pages {

// A check list of "Раздел 1" .. "Раздел 8" in two columns, read and set as a
// partition bit set (bit i = partition i + 1).
class PartitionListWidget final : public QListWidget {
    Q_OBJECT

public:
    explicit PartitionListWidget(QWidget* parent = nullptr);

    [[nodiscard]] std::uint8_t mask() const;
    // Programmatic: raises no itemChanged.
    void setMask(std::uint8_t mask);
};

}  // namespace kv6::pages
