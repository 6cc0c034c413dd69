// Unpacking update packages: ZIP archives, whatever their file extension.
#pragma once

#include <QString>
#include "kxview/kxview_core_export.h"

namespace modUnZip {

/// The replace-question answers, numbered as the unzip library's replace callback returns them.
enum ReplaceCode : int { IDM_REPLACE_NO = 100, IDM_REPLACE_YES = 102, IDM_REPLACE_NONE = 104 };

/// Extracts every member of `archive` into `folder`, creating `folder` (one level) when missing. A
/// separator is appended to the caller's `folder` when it has none. True when the unzip run returned 0.
/// Never throws.
KXVIEW_CORE_EXPORT bool UnZipArchive(const QString& archive, QString& folder);

/// Runs the extraction of `archive` into the existing `folder` (ending with a separator), asking before
/// each existing file is replaced; returns the unzip result code (0: success).
KXVIEW_CORE_EXPORT int RunUnzip(const QString& archive, const QString& folder);

/// Asks "Overwrite <name>?" with Yes, No and Cancel; Yes replaces this file, No keeps it, Cancel keeps it
/// and every later one.
KXVIEW_CORE_EXPORT int OnUnzipReplace(const QString& name);

}  // namespace modUnZip
