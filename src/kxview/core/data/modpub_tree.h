// Tree helpers over catalogue tables: marking the entries whose file is missing.
#pragma once

#include <QString>
#include "kxview/kxview_core_export.h"

#include "core/data/catalogue_tree.h"

namespace modPub_Tree {

/// The image of an entry whose file is not installed.
inline constexpr qint16 kNotInstalledImage = 18;

/// For every node of `Tree` (loaded from the catalogue `Path` + `DBName`): a file entry whose file is
/// missing from `Path` (or whose name may not be looked up there, see kx::untrustedNameInFolder) gets the
/// not-installed image, one whose file exists the tree's normal image; entries without a file keep theirs.
/// Throws kx::DbError when the catalogue cannot be read.
KXVIEW_CORE_EXPORT void MarkUninstalledNodes(const QString& Path, const QString& DBName,
                                             kx::CatalogueTreeNodes& Tree);

}  // namespace modPub_Tree
