// The image list of the pickers' trees. Node images are numbers into it, fixed by the trees' stored
// settings: the price-file picker's nodes show image 8, the quota-library picker's image 12, and an entry
// whose file is not installed image 18 (modPub_Tree::kNotInstalledImage).
#pragma once

#include <QIcon>
#include <QList>
#include "kxview/kxview_export.h"

namespace kx {

/// The normal node image of the price-file picker's tree: a price file.
inline constexpr qint16 kPriceFileImage = 8;
/// The normal node image of the quota-library picker's tree: a quota library.
inline constexpr qint16 kQuotaLibraryImage = 12;

/// The images, numbered from 1 (KXTree::setImageList): 8, 12 and 18 are drawn, each with a picture of its
/// own for the selected node (QIcon::Selected) that stays clear on the selection's colour; the numbers no
/// tree uses are empty.
KXVIEW_EXPORT QList<QIcon> pickerTreeImages();

}  // namespace kx
