#include "picture.h"

#include "errors.h"
#include "filesystem.h"

namespace kx {

QPixmap loadPicture(const QString& path) {
    const QString file = fs::resolve(path);
    if (!fs::isFile(file)) throw ControlError("File not found: " + path.toStdString());
    QPixmap picture;
    if (!picture.load(file)) throw ControlError("Invalid picture: " + path.toStdString());
    return picture;
}

}  // namespace kx
