#pragma once

class QWidget;

namespace kv6::widgets {

// Puts a dialog that has no parent window in the middle of `anchor`'s window,
// as Qt does for one that has: sized to its contents first (its rows may
// have changed since it was last shown), its frame kept on the screen. Call
// it before showing the dialog; with `anchor`'s window hidden it does nothing.
void centreOnWindowOf(QWidget& dialog, const QWidget& anchor);

}  // namespace kv6::widgets
