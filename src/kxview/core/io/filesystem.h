// The file-system boundary: Windows-style paths from the data become real paths here.
//
// Paths inside the component are text in which both '\' and '/' separate components. Data folders come
// from Windows, where names are case-insensitive, so a component that does not exist with its exact
// spelling is looked up without regard to case.
#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <QStringList>
#include "kxview/kxview_core_export.h"

namespace kx::fs {

/// The path with every backslash turned into '/'.
KXVIEW_CORE_EXPORT QString withSlashes(const QString& path);

/// The real path of `path`: separators mapped, and each component that does not exist as spelled
/// replaced by an existing entry whose name differs only in letter case. Components that exist in no
/// spelling are kept as given (so the result can name a file to be created).
KXVIEW_CORE_EXPORT QString resolve(const QString& path);

/// True when `path` names an existing folder.
KXVIEW_CORE_EXPORT bool isDir(const QString& path);
/// True when `path` names an existing regular file.
KXVIEW_CORE_EXPORT bool isFile(const QString& path);

/// True unless `path` exists and its real location, links followed, lies outside the real location of
/// `folder` (a symbolic link in the folder that leads elsewhere). A path that does not exist has nothing to
/// follow and counts as inside.
KXVIEW_CORE_EXPORT bool staysInside(const QString& path, const QString& folder);

/// True when both paths name one existing file (links followed, letter case looked up as resolve does).
KXVIEW_CORE_EXPORT bool sameFile(const QString& a, const QString& b);

/// Names (not paths) of the regular files in `folder` whose names match the wildcard `pattern`
/// ('*' and '?') without regard to case, in case-insensitive order. A missing folder lists nothing.
KXVIEW_CORE_EXPORT QStringList listFiles(const QString& folder, const QString& pattern);

/// False when an existing part of `path` (a real path below the folder `folder`), followed through its
/// links, leads outside `folder`: a link already on disk cannot carry a write elsewhere. Parts that do
/// not exist yet cannot be links and pass.
KXVIEW_CORE_EXPORT bool liesWithin(const QString& folder, const QString& path);

/// Creates the single folder `path`; false if it exists already or cannot be made.
KXVIEW_CORE_EXPORT bool makeDir(const QString& path);

/// How writing a file into place ended.
enum class WriteResult { Ok, PermissionDenied, Failed };

/// Writes `content` to the file `path`, replacing it. The bytes go to a temporary file beside it that is
/// renamed over `path` only when complete, so a failure never leaves a partial file under that name.
/// PermissionDenied when the file or its folder is not writable for this process.
KXVIEW_CORE_EXPORT WriteResult writeFile(const QString& path, const QByteArray& content);
/// Copies the file `source` to `target`, replacing it, the same way as writeFile.
KXVIEW_CORE_EXPORT WriteResult copyFile(const QString& source, const QString& target);
/// Deletes the file `path`; false when there was none or it could not be deleted.
KXVIEW_CORE_EXPORT bool removeFile(const QString& path);

/// Renames `from` to `to` in one step, replacing a file `to` if there is one (both in the same folder, or
/// at least on the same volume). False, with both left as they were, when it cannot be done.
KXVIEW_CORE_EXPORT bool renameReplacing(const QString& from, const QString& to);
/// The SHA-256 of the file `path` as lowercase hex; empty when it cannot be read.
KXVIEW_CORE_EXPORT QByteArray sha256Of(const QString& path);
/// Writes what `file` (open for writing) holds through to the disk, so that it survives a power loss.
KXVIEW_CORE_EXPORT bool syncToDisk(QFileDevice& file);

}  // namespace kx::fs
