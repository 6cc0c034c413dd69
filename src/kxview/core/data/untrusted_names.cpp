#include "core/data/untrusted_names.h"

#include "core/data/modpub_file.h"
#include "core/io/filesystem.h"
#include "core/services/logging.h"

namespace kx {

NameInFolder untrustedNameInFolder(const QString& folder, const QString& name) {
    NameInFolder placed;
    if (!modPub_File::isPlainFileName(name)) {
        placed.refusal = QStringLiteral("[") + name + QStringLiteral("]不是本文件夹内的文件名，已拒绝使用！");
    } else if (!fs::staysInside(folder + name, folder)) {
        placed.refusal = QStringLiteral("[") + name + QStringLiteral("]指向本文件夹以外的位置，已拒绝使用！");
    } else {
        placed.path = folder + name;
        return placed;
    }
    qCWarning(lcKxView).noquote() << "name refused in" << folder << ":" << name;
    return placed;
}

}  // namespace kx
