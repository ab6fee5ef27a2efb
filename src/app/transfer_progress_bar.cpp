#include "app/transfer_progress_bar.h"

#include <QTimer>

namespace kv6::app {

TransferProgressBar::TransferProgressBar(Source source, QWidget* parent)
    : QProgressBar(parent), m_source(std::move(source)), m_poll(new QTimer(this)), m_hide(new QTimer(this)) {
    setObjectName(QStringLiteral("TransferProgress"));
    setFixedWidth(kWidth);
    setFormat(QStringLiteral("%v / %m"));
    hide();
    m_hide->setSingleShot(true);
    connect(m_hide, &QTimer::timeout, this, &QWidget::hide);
    connect(m_poll, &QTimer::timeout, this, &TransferProgressBar::poll);
    m_poll->start(kPollMs);
}

void TransferProgressBar::poll() {
    if (m_hide->isActive()) return;  // the full bar of a finished transfer stays a moment
    const std::optional<link::TransferProgress> progress = m_source ? m_source() : std::nullopt;
    if (!progress || progress->total <= 0) {
        hide();
        return;
    }
    setMaximum(progress->total);
    setValue(progress->done);
    show();
}

void TransferProgressBar::showEvent(QShowEvent* event) {
    QProgressBar::showEvent(event);
    emit shownChanged(true);
}

void TransferProgressBar::hideEvent(QHideEvent* event) {
    QProgressBar::hideEvent(event);
    emit shownChanged(false);
}

void TransferProgressBar::finish(bool ok) {
    if (!ok || isHidden()) {
        hide();
        return;
    }
    setValue(maximum());
    m_hide->start(kFullShownMs);
}

}  // namespace kv6::app
