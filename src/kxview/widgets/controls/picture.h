// Pictures read from files.
#pragma once

#include <QPixmap>
#include <QString>
#include "kxview/kxview_export.h"

namespace kx {

/// The picture in the file `path` (icons and the usual image formats; Windows-style paths accepted);
/// kx::ControlError when the file is missing or holds no picture.
KXVIEW_EXPORT QPixmap loadPicture(const QString& path);

}  // namespace kx
