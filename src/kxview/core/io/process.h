// Starting outside programs and the operating system's own folders.
#pragma once

#include <QString>
#include "kxview/kxview_core_export.h"

namespace kx {

/// Starts `commandLine` (program and arguments split as a shell would, without a shell) with every "%1"
/// in it replaced by `argument`, and does not wait for it. The command line is split before `argument`
/// goes in, so `argument` stays within the one argument that names it, whatever blanks or quotes it
/// holds. False when it could not be started.
KXVIEW_CORE_EXPORT bool startDetached(const QString& commandLine, const QString& argument);

/// The Windows system directory ending with a backslash; "" on systems that have none.
KXVIEW_CORE_EXPORT QString windowsSystemDirectory();

}  // namespace kx
