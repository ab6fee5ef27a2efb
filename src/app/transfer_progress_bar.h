#pragma once

#include <QProgressBar>
#include <functional>
#include <optional>

#include "link/transfer_progress.h"

class QTimer;

namespace kv6::app {

// The status bar's progress of a read (blocks) or a write (jobs): shown while
// the link reports a transfer, full for a moment when it ends well, hidden at
// once when it fails.
class TransferProgressBar final : public QProgressBar {
    Q_OBJECT
public:
    static constexpr int kPollMs = 100;
    static constexpr int kFullShownMs = 600;
    static constexpr int kWidth = 120;

    using Source = std::function<std::optional<link::TransferProgress>()>;
    explicit TransferProgressBar(Source source, QWidget* parent = nullptr);

    // The transfer ended: ok shows the bar full before it hides.
    void finish(bool ok);

signals:
    void shownChanged(bool shown);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void poll();

    Source m_source;
    QTimer* m_poll;
    QTimer* m_hide;
};

}  // namespace kv6::app
