#include "widgets/controls/picture.h"

#include "core/io/filesystem.h"
#include "kxview/errors.h"

namespace kx {

QPixmap loadPicture(const QString& path) {
    const QString file = fs::resolve(path);
    if (!fs::isFile(file)) throw ControlError("File not found: " + path.toStdString());
    QPixmap picture;
    if (!picture.load(file)) throw ControlError("Invalid picture: " + path.toStdString());
    return picture;
}

}  // namespace kx
