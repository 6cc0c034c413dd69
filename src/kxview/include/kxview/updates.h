// The update procedures without widgets: quota libraries and price files fetched from the update service,
// unpacked and installed, asking the user through kx::UpdatePrompts. <kxview/modupdate.h> runs the same
// procedures with the component's dialogs.
#pragma once

#include <QString>
#include "kxview/kxview_core_export.h"
#include "kxview/updateprompts.h"

namespace modUpdate {

/// Result codes of UpdateDELibrary.
enum UpdateDEResult : qint32 {
    kUpdateFinished = 0,    ///< installed (also: the download completed but left no package file)
    kDownloadFailed = 1,    ///< the package download did not complete
    kExtractionFailed = 2,  ///< the package could not be extracted
    kInstallFailed = 3,     ///< the package installer reported failure
    kDeclined = 4,          ///< the user declined the offered edition
};

/// The address of the update service: an http or https URL, or a local or network folder, ending with
/// a separator. The host sets it; nothing in the component does.
KXVIEW_CORE_EXPORT void SetUpdateBaseAddress(const QString& address);
/// The address set by the host ("" until then).
KXVIEW_CORE_EXPORT QString UpdateBaseAddress();

/// The folder that "<SYS>" targets of a manifest name. Empty (the default) means: the Windows system
/// directory on Windows, elsewhere `AppPath` + "System\".
KXVIEW_CORE_EXPORT void SetSystemDirectory(const QString& folder);
/// The command line that registers an installed file; "%1" stands for the file's path, unquoted, in the
/// system's own spelling. Empty (the default) means: `regsvr32.exe %1 /s` from the system directory on
/// Windows, elsewhere no registration (the step is skipped and logged).
KXVIEW_CORE_EXPORT void SetRegisterCommand(const QString& commandLine);

/// Fetches and installs the quota library `LibName` (a file title) from the update service. When
/// `DataRoot` + "定额库\" + `LibName` + ".QTDE" exists, its information file is fetched first and the
/// user decides on the offered version. Returns an UpdateDEResult. Throws kx::DbError when the installed
/// library cannot be read, kx::FileSystemError when the work folders below `AppPath` cannot be created.
KXVIEW_CORE_EXPORT qint32 UpdateDELibrary(kx::UpdatePrompts& prompts, const QString& LibName,
                                          const QString& AppPath, const QString& DataRoot);

/// Fetches the catalogue of the price set `MateKey`, lets the user choose new and changed price files,
/// installs the chosen ones below `DataPath` + "材料价格文件\" + `MateKey` + "\" and tells the user how
/// many were installed; returns that number (0, without a word, when the catalogue did not come).
/// Throws kx::DbError when a catalogue cannot be read, kx::FileSystemError when a folder cannot be
/// created or the installed catalogue cannot be replaced.
KXVIEW_CORE_EXPORT int UpdatePriceFiles(kx::UpdatePrompts& prompts, const QString& MateKey,
                                        const QString& AppPath, const QString& DataPath);

/// Fetches, unpacks and installs one price file `FileName` of the set `MateKey`. True when installed.
/// An installed file that cannot be replaced is reported to the user as in use. Never throws.
KXVIEW_CORE_EXPORT bool UpdatePriceFile(kx::UpdatePrompts& prompts, const QString& MateKey,
                                        const QString& AppPath, const QString& DataPath,
                                        const QString& FileName);

}  // namespace modUpdate
