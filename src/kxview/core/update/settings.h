// What the host sets for the updates (see <kxview/updates.h>), as the update steps read it.
#pragma once

#include <QString>

namespace modUpdate::settings {

/// Where "<SYS>" targets go: the host's folder, else the Windows system directory, else `appPath` +
/// "System\"; always ending with a separator.
QString systemDirectory(const QString& appPath);

/// The command line that registers an installed file ("%1": its path), or "" for no registration: the
/// host's command, else regsvr32 from the system directory `systemDir` on Windows.
QString registerCommand(const QString& systemDir);

}  // namespace modUpdate::settings
