// Names read from data (a catalogue entry's WithFileName, a library's key) that become part of a path.
//
// A catalogue may come from the update service, and a library from anyone: such a name is checked before
// the component opens, downloads, copies or deletes the file it names, so that nothing outside the folder
// it belongs to is ever touched.
#pragma once

#include <QString>
#include "kxview/kxview_core_export.h"

namespace kx {

/// A name from data placed in the folder it must stay in: the path, or the reason it was refused.
struct NameInFolder {
    /// `folder` + the name; empty when refused.
    QString path;
    /// Why the name was refused, for the user to read; empty when accepted.
    QString refusal;

    bool accepted() const { return refusal.isEmpty(); }
};

/// The catalogue-name rule: `folder` (ending with a separator) + `name` when `name` is a plain file name
/// (modPub_File::isPlainFileName) and, when a file of that name exists, it does not lead out of `folder`
/// (a symbolic link); otherwise a refusal that names it. Every open, download, copy or delete of a file
/// that a catalogue or a library names goes through here first.
KXVIEW_CORE_EXPORT NameInFolder untrustedNameInFolder(const QString& folder, const QString& name);

}  // namespace kx
