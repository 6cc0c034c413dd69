// The edge where Qt delivers events to the component: a failure inside an event handler is shown to the
// user and logged there, and never travels on through the event loop.
#pragma once

#include <QString>
#include <functional>
#include "kxview/kxview_export.h"

class QWidget;

namespace kx {

/// Runs `handler`; an exception it throws is logged with `what` (the notification that failed) and shown
/// in a warning box titled "提示" over `parent`, and goes no further.
KXVIEW_EXPORT void runGuarded(QWidget* parent, const QString& what, const std::function<void()>& handler);

}  // namespace kx
