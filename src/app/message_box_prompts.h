#pragma once

#include <QPointer>
#include <QWidget>

#include "common/prompts.h"

namespace kv6::app {

// kv6::Prompts on QMessageBox: texts translated at this boundary, owned by a
// window or, with no owner, standing alone.
class MessageBoxPrompts final : public Prompts {
public:
    explicit MessageBoxPrompts(QWidget* owner = nullptr) : m_owner(owner) {}

    bool message(const std::string& text, const std::string& caption, MessageIcon icon,
                 MessageButtons buttons) override;

private:
    QPointer<QWidget> m_owner;
};

}  // namespace kv6::app
