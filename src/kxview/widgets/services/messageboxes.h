// The screen's message boxes behind the core's message service.
#pragma once

#include "kxview/kxview_export.h"

namespace kx {

/// Makes real QMessageBoxes the default of the message service (see kx::messageService), once per
/// process. Everything of the widget layer that a host creates calls it, so boxes appear on the screen
/// from then on unless a service was chosen with setMessageService.
KXVIEW_EXPORT void useMessageBoxes();

}  // namespace kx
