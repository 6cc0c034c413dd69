// Starting outside programs and the operating system's own folders.
#pragma once

#include <QString>
#include "kxview/kxview_core_export.h"

namespace kx {

/// Starts `commandLine` (program and arguments split as a shell would, without a shell) and does not
/// wait for it. False when it could not be started.
KXVIEW_CORE_EXPORT bool startDetached(const QString& commandLine);

/// The Windows system directory ending with a backslash; "" on systems that have none.
KXVIEW_CORE_EXPORT QString windowsSystemDirectory();

}  // namespace kx
