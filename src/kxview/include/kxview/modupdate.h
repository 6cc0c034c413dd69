// The update procedures: quota libraries and price files fetched from the update service, unpacked and
// installed, and the package installer that applies an update manifest.
#pragma once

#include <QString>
#include "kxview/kxview_core_export.h"
#include "kxview/kxview_export.h"

namespace modUpdate {

/// Result codes of UpdateDELibrary.
enum UpdateDEResult : qint32 {
    kUpdateFinished = 0,    ///< installed (also: the download completed but left no package file)
    kDownloadFailed = 1,    ///< the package download did not complete
    kExtractionFailed = 2,  ///< the package could not be extracted
    kInstallFailed = 3,     ///< the package installer reported failure
    kDeclined = 4,          ///< the user declined in the information dialog
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

/// Applies the manifest `ManifestFullName` (Update.xml in an unpacked package folder): copies each
/// listed file present in the package folder to its target ("...\x" below `AppPath`, "<SYS>x" in the
/// system directory, anything else absolute), registers the ones flagged 1, deletes the copied sources,
/// and deletes the manifest when every present file went through. True in that case. A missing or
/// unreadable manifest, or one without an "Update" element, gives False and changes nothing.
/// `ThirdArgument` enables nothing. Never throws.
KXVIEW_CORE_EXPORT bool InstallUpdatePackage(const QString& ManifestFullName, const QString& AppPath,
                                             bool ThirdArgument = false);

/// Fetches and installs the quota library `LibName` (a file title) from the update service. When
/// `DataRoot` + "定额库\" + `LibName` + ".QTDE" exists, the offered version is shown first and the user
/// decides. Returns an UpdateDEResult. Throws kx::DbError when the installed library cannot be read.
KXVIEW_EXPORT qint32 UpdateDELibrary(const QString& LibName, const QString& AppPath, const QString& DataRoot);

/// Fetches the catalogue of the price set `MateKey`, lets the user choose new and changed price files,
/// installs the chosen ones below `DataPath` + "材料价格文件\" + `MateKey` + "\" and tells the user how
/// many were installed; returns that number (0 also when the catalogue did not come). Throws
/// kx::DbError when a catalogue cannot be read.
KXVIEW_EXPORT int UpdatePriceFiles(const QString& MateKey, const QString& AppPath, const QString& DataPath);

/// Fetches, unpacks and installs one price file `FileName` of the set `MateKey`. True when installed.
/// A file that cannot be replaced is reported as in use. Never throws.
KXVIEW_EXPORT bool UpdatePriceFile(const QString& MateKey, const QString& AppPath, const QString& DataPath,
                                   const QString& FileName);

}  // namespace modUpdate
