// Path helpers that take Windows-style paths apart, folder creation, open-file filters and the warning box.
//
// Both '\' and '/' count as separators; results keep the separators they were given.
#pragma once

#include <QString>
#include "kxview/errors.h"
#include "kxview/kxview_core_export.h"

namespace modPub_File {

/// The text after the last separator; "" when there is none or the path ends with one.
KXVIEW_CORE_EXPORT QString GetFileName(const QString& path);
/// The text up to and including the last separator; "" when there is none.
KXVIEW_CORE_EXPORT QString GetFilePath(const QString& path);
/// The file name without its folder and without everything from its first dot.
KXVIEW_CORE_EXPORT QString GetFileTitle(const QString& path);
/// The folder above a folder path, ending with a separator ("D:\data\K01\" gives "D:\data\").
KXVIEW_CORE_EXPORT QString GetParentPath(const QString& path);
/// Creates the folder `path` and every missing folder above it. Creating a folder that exists already
/// throws kx::FileSystemError, as callers check first.
KXVIEW_CORE_EXPORT void CreateDirs(const QString& path);
/// True when `name` is a file name without any folder part, so that a folder path followed by it names a
/// file of that folder on every system: not empty, not made of dots and blanks only ("..", ". "), without
/// '\', '/', ':' (a drive or a stream), the characters no Windows name may hold (* ? " < > |) or control
/// characters, and not a Windows device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, with any
/// extension).
KXVIEW_CORE_EXPORT bool isPlainFileName(const QString& name);
/// The open-file dialog filter for an extension (".QTJG", ".JG", ".QTCJ", ".QTDE"), else a null string.
KXVIEW_CORE_EXPORT QString GetFileFilter(const QString& ext);

}  // namespace modPub_File

namespace modPub_Sub {

/// Shows `text` in a modal warning box titled "友情提示" with an OK button.
KXVIEW_CORE_EXPORT void ShowMsg(const QString& text);

}  // namespace modPub_Sub
