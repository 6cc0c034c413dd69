// What the update procedures ask of their user, and what they show while they work: the downloads, the
// offer of a quota library, the offer of a price set, the question before an existing file is replaced,
// and messages. The component's dialogs answer on a screen; a command line, or a host with forms of its
// own, answers through the same interface without them.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include "kxview/kxview_core_export.h"

namespace kx {

/// The answer to "replace this existing file?" while a package is unpacked.
enum class ReplaceAnswer {
    Replace,  ///< replace this file
    Keep,     ///< leave this file as it is
    KeepAll,  ///< leave this file and every later existing file of the package as they are
};

/// Why an update refused what the update service sent, or could not go on. Each reason is told to the
/// user in its own words (`text`); the result codes of the procedures stay as specified.
struct UpdateRefusal {
    enum class Reason {
        ChecksumMismatch,     ///< a package differs from the checksum published beside it (or that is no
                              ///< checksum)
        ChecksumMissing,      ///< no checksum beside a package, and the host requires one
        PackageTooLarge,      ///< a package would unpack to more than the limit, or a member to more than it
                              ///< declares
        PackageRatio,         ///< a package would unpack to too many times its own size
        PackageMembers,       ///< a package holds too many members
        InformationTooLarge,  ///< an information file is larger than the limit
        InformationTooManyLines,  ///< an information file lists more change lines than the limit
        ManifestTooLarge,         ///< a manifest is larger than the limit
        ManifestTooManyEntries,   ///< a manifest lists more entries than the limit
        TargetOutsideFolder,      ///< a manifest target would leave the application or the system folder
        AbsoluteTarget,           ///< a manifest target is an absolute path and the host does not allow them
        InstallFailed,            ///< a file could not be installed: the package's files were all put back
        Busy,                     ///< another update of the same application folder kept running too long
    };

    Reason reason;
    /// What the user reads.
    QString text;
};

/// One file to fetch from the update service.
struct FetchRequest {
    /// The address of the file.
    QString url;
    /// The folder that receives it under the remote file's name, ending with a separator.
    QString folder;
    /// The status text shown when the transfer starts; empty keeps the one shown last.
    QString title;
};

/// What the update service offers for an installed quota library: the installed and the offered version
/// and the offered edition's change list.
struct KXVIEW_CORE_EXPORT QuotaLibraryOffer {
    /// One line of the change list.
    struct Change {
        QString text;
        /// Above 0: the line is emphasised.
        int marker = 0;
    };

    /// The installed library.
    QString libraryFile;
    /// The downloaded information file.
    QString informationFile;
    /// The installed library's KeyInfo "Ver".
    QString installedVersion;
    /// True when the information file holds its "Update" and "Info" elements; otherwise nothing below is
    /// known and the user decides without it.
    bool readable = false;
    /// Set when the information file was refused unread (too large, too many lines): the user decides
    /// without it, reading why.
    std::optional<UpdateRefusal> refusal;
    /// The offered version: the first attribute of "Info".
    QString offeredVersion;
    /// The change lines: the children of "Info", in document order.
    QList<Change> changes;

    /// True when both versions have the same numeric value ("1.0" and "1.00"); a newer and an older
    /// offered version count alike.
    bool isCurrent() const;
    /// The heading the user reads: "定额库数据为最新[1.0]版，不需要更新！" when current, otherwise
    /// "当前定额库版本 [1.0] 最新版本 [1.1],更新内容如下："; the refusal's text when the information file was
    /// refused; "" when it is not readable.
    QString headline() const;
};

/// One entry of an offered price catalogue and how it compares with the installed price set.
struct PriceFileEntry {
    /// How the entry compares: a folder entry, a file not installed, a file whose edition changed, or a
    /// file as installed.
    enum class State { Folder, New, Changed, Same };

    /// The catalogue row's ID.
    qint32 id = 0;
    /// Name, CreatDate, ModifyDate and SM of the catalogue row, as text.
    QString name;
    QString created;
    QString modified;
    QString note;
    /// WithFileName: the price file's name; empty for a folder entry.
    QString fileName;
    State state = State::Folder;

    /// True for a file entry: one that can be chosen.
    bool isFile() const { return !fileName.isEmpty(); }
};

/// The price files the update service offers for one price set.
struct PriceSetOffer {
    /// The set's key.
    QString mateKey;
    /// The data folder that holds "材料价格文件\" + key + "\".
    QString dataPath;
    /// The downloaded catalogue (MatePriceIndex.mdb).
    QString offeredCatalogue;
    /// The catalogue's entries depth first: each entry directly followed by its descendants.
    QList<PriceFileEntry> entries;
};

/// Asks the user of an update and shows them what happens. The update procedures call it on the thread
/// that runs them; every call returns when the user has answered.
class KXVIEW_CORE_EXPORT UpdatePrompts {
public:
    virtual ~UpdatePrompts();
    /// Fetches one file, showing the transfer's progress and status line; true when the file arrived.
    virtual bool fetch(const FetchRequest& request) = 0;
    /// Shows what the service offers for an installed quota library; true to go on, false to decline.
    virtual bool confirmQuotaLibraryOffer(const QuotaLibraryOffer& offer) = 0;
    /// Lets the user choose among the offered price files; the chosen file names, top to bottom (none
    /// when the user chose nothing or cancelled).
    virtual QStringList choosePriceFiles(const PriceSetOffer& offer) = 0;
    /// Asks whether the existing file `path` may be replaced while a package is unpacked.
    virtual ReplaceAnswer replaceExistingFile(const QString& path) = 0;
    /// Tells the user something they acknowledge: how an update ended, or why something was refused.
    virtual void inform(const QString& text) = 0;
    /// Tells the user why the update refused something (unless the host switched that off in
    /// kx::UpdateLimits::reportRefusals). By default: inform(refusal.text).
    virtual void refused(const UpdateRefusal& refusal);
    /// Reports the files an update has just installed (full paths), once they are all in place. By default
    /// nothing is done with them.
    virtual void installed(const QStringList& files);
};

/// Fetches `request` without a window, for prompts that have none: creates the folder when missing and
/// runs the event loop until the transfer has ended. `onStatus` receives each status text as the
/// download dialog would show it; `progress` is true for the frequent "42% of 3M" texts. True when the
/// file arrived. Throws kx::FileSystemError when the folder cannot be created.
KXVIEW_CORE_EXPORT bool fetchWithoutWindow(
    const FetchRequest& request, const std::function<void(const QString& text, bool progress)>& onStatus);

}  // namespace kx
