// The update procedures without widgets: quota libraries and price files fetched from the update service,
// unpacked and installed, asking the user through kx::UpdatePrompts. <kxview/modupdate.h> runs the same
// procedures with the component's dialogs.
#pragma once

#include <QString>
#include "kxview/kxview_core_export.h"
#include "kxview/updateprompts.h"

namespace kx {

/// What an update accepts from the update service and may do on this machine. An update address is
/// untrusted input (over plain http, anyone on the network can answer in its name), so every limit has a
/// safe default; a host widens or lifts them with modUpdate::SetUpdateLimits. A size, time or count of 0
/// means "no limit"; the switches turn each safeguard off (or, for the opt-ins, on) separately.
struct UpdateLimits {
    // Downloads (every file an update fetches).
    /// Largest file a download accepts, announced or counted as it arrives.
    qint64 maxDownloadBytes = qint64{1} << 30;
    /// Longest time one download may take from its start, resumptions included.
    int downloadDeadlineSeconds = 2 * 60 * 60;
    /// A download that receives fewer than minBytesPerWindow bytes in any window of this many seconds
    /// is stopped as too slow (and resumed, see resumeAttempts).
    int rateWindowSeconds = 30;
    qint64 minBytesPerWindow = 4096;
    /// How often a download whose connection broke off or grew too slow is taken up again: with an HTTP
    /// range request where the server supports ranges, from the start where it does not. A server that
    /// supports ranges also lets a later update resume what an earlier one could not finish.
    int resumeAttempts = 3;
    /// Check a package against the hex SHA-256 published beside it as NAME.rar.sha256, when there is one,
    /// before it is unpacked.
    bool verifyChecksums = true;
    /// Refuse a package that has no checksum beside it.
    bool requireChecksums = false;

    // Packages (before and while they are unpacked).
    /// Most bytes a package may unpack to, by what its members declare and by what they really hold.
    qint64 maxUnpackedBytes = qint64{2} << 30;
    /// Most times its own size a package may unpack to (checked for packages unpacking to more than
    /// 64 MB; smaller ones may compress as well as they like).
    int maxCompressionRatio = 200;
    /// Most members a package may hold.
    int maxPackageMembers = 10000;

    // The files an update reads.
    /// Largest information file read, and most change lines it may list.
    qint64 maxInformationBytes = qint64{1} << 20;
    int maxInformationLines = 5000;
    /// Largest manifest (Update.xml) read, and most entries it may list.
    qint64 maxManifestBytes = qint64{1} << 20;
    int maxManifestEntries = 5000;

    // Installing.
    /// Refuse a package whose "...\" or "<SYS>" targets would leave the application or the system folder
    /// (through ".." or a link), and drop price catalogue entries whose file name is not a plain file name.
    bool confinePaths = true;
    /// Let manifest targets name absolute paths.
    bool allowAbsoluteTargets = false;
    /// Let flagged files be registered with the registration command (SetRegisterCommand).
    bool allowRegistration = false;
    /// Install a package's files all together or none: staged beside their targets, put in place together
    /// under a journal in AppPath\Temp\升级\, and put back when one fails or a crash interrupts.
    bool allOrNothing = true;
    /// How long an update waits while another update of the same application folder runs.
    int lockWaitSeconds = 30;
    /// Tell the user why something was refused (UpdatePrompts::refused).
    bool reportRefusals = true;
};

}  // namespace kx

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

/// Sets what the updates accept and may do (see kx::UpdateLimits); the defaults hold until then.
KXVIEW_CORE_EXPORT void SetUpdateLimits(const kx::UpdateLimits& limits);
/// The limits in force.
KXVIEW_CORE_EXPORT kx::UpdateLimits GetUpdateLimits();

/// What RecoverInterruptedInstall found.
enum class Recovery {
    NothingToDo,  ///< no install was interrupted
    RolledBack,   ///< an install was interrupted before all its files were in place: the old files are back
    Completed,    ///< an install was interrupted after all its files were in place: its clean-up is finished
    Failed,       ///< the journal could not be read or a file could not be put back (see the log)
};

/// Finishes or undoes an install of an update package that a crash interrupted in the application folder
/// `AppPath`. Every update procedure does this first; this runs it alone. Waits for another update of the
/// folder as the procedures do (Failed when it runs too long).
KXVIEW_CORE_EXPORT Recovery RecoverInterruptedInstall(const QString& AppPath);

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
