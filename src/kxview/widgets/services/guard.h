// The edge where Qt delivers events: an error inside a handler is reported and logged there, and never
// travels on through the event loop.
#pragma once

#include <functional>
#include "kxview/kxview_export.h"

class QWidget;

namespace kx {

/// Runs `handler`; an exception it throws is logged with `what` and shown to the user as a warning box
/// over `parent`, and goes no further.
KXVIEW_EXPORT void runGuarded(QWidget* parent, const char* what, const std::function<void()>& handler);

}  // namespace kx
