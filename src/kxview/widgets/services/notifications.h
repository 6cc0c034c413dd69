// The edge where Qt delivers events to the component: a failure inside an event handler is reported to
// the user and logged, and never crosses the event loop.
#pragma once

#include <QString>
#include <exception>
#include <utility>
#include "kxview/kxview_export.h"

class QWidget;

namespace kx {

/// Shows `error` in a warning box over `parent` and logs it with `what` (the notification that failed).
KXVIEW_EXPORT void reportError(QWidget* parent, const QString& what, const std::exception& error);

/// Runs `handler`; an exception it throws is reported (reportError) instead of propagating.
template <typename Handler>
void runGuarded(QWidget* parent, const QString& what, Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& e) {
        reportError(parent, what, e);
    }
}

}  // namespace kx
