// The update procedures as the component's pickers run them: every question and every transfer shown in
// the component's dialogs (the download dialog, the quota library's information dialog, the price-file
// selection) and message boxes. The same procedures without widgets: <kxview/updates.h>.
#pragma once

#include <QString>
#include "kxview/kxview_export.h"
#include "kxview/updates.h"

namespace modUpdate {

/// UpdateDELibrary with the component's dialogs: the information dialog frmNet_UpdateDEInfo shows the
/// offered version of an installed library. Returns an UpdateDEResult. Throws kx::DbError when the
/// installed library cannot be read, kx::FileSystemError when the work folders cannot be created.
KXVIEW_EXPORT qint32 UpdateDELibrary(const QString& LibName, const QString& AppPath, const QString& DataRoot);

/// UpdatePriceFiles with the component's dialogs: the selection dialog frmPub_DownLoad_Price lists the
/// offered price files, and the number installed is shown in a message box titled "提示". Throws
/// kx::DbError when a catalogue cannot be read, kx::FileSystemError when a folder cannot be created or
/// the installed catalogue cannot be replaced.
KXVIEW_EXPORT int UpdatePriceFiles(const QString& MateKey, const QString& AppPath, const QString& DataPath);

/// UpdatePriceFile with the component's dialogs. True when installed. Never throws.
KXVIEW_EXPORT bool UpdatePriceFile(const QString& MateKey, const QString& AppPath, const QString& DataPath,
                                   const QString& FileName);

}  // namespace modUpdate
