// Unpacking update packages: ZIP archives, whatever their file extension.
#pragma once

#include <QString>
#include "core/io/ziparchive.h"
#include "kxview/kxview_core_export.h"

namespace modUnZip {

/// The replace-question answers, numbered as the unzip library's replace callback returns them.
enum ReplaceCode : int { IDM_REPLACE_NO = 100, IDM_REPLACE_YES = 102, IDM_REPLACE_NONE = 104 };

/// Extracts every member of `archive` into `folder`, creating `folder` (one level) when missing, and asks
/// "Overwrite <name>?" (OnUnzipReplace) before an existing file is replaced. A separator is appended to
/// the caller's `folder` when it has none. True when the unzip run returned 0. Never throws.
KXVIEW_CORE_EXPORT bool UnZipArchive(const QString& archive, QString& folder);
/// The same, with `ask` deciding about existing files and the host's update limits bounding the package;
/// returns how the extraction ended (a folder that cannot be created: DiskError).
KXVIEW_CORE_EXPORT kx::UnzipResult unpackArchive(const QString& archive, QString& folder,
                                                 const kx::ReplaceQuestion& ask);

/// Runs the extraction of `archive` into the existing `folder` (ending with a separator), with `ask`
/// deciding about existing files, within the host's update limits; returns the unzip result code (0:
/// success).
KXVIEW_CORE_EXPORT int RunUnzip(const QString& archive, const QString& folder,
                                const kx::ReplaceQuestion& ask);

/// Asks "Overwrite <name>?" with Yes, No and Cancel in a box titled "VBUnzip - File already exists";
/// returns IDM_REPLACE_YES (replace this file), IDM_REPLACE_NO (keep it) or IDM_REPLACE_NONE (keep it and
/// every later one).
KXVIEW_CORE_EXPORT int OnUnzipReplace(const QString& name);
/// OnUnzipReplace's answer as extraction takes it.
KXVIEW_CORE_EXPORT kx::ReplaceAnswer askBeforeReplacing(const QString& name);

}  // namespace modUnZip
