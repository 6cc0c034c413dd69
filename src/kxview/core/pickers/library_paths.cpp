#include "core/pickers/library_paths.h"

#include "core/data/modpub_file.h"

namespace kx {

NameInFolder priceFolderOf(const QString& libraryFile, const QString& key) {
    using namespace modPub_File;
    NameInFolder folder = untrustedNameInFolder(
        GetParentPath(GetFilePath(libraryFile)) + QStringLiteral("材料价格文件\\"), key);
    if (folder.accepted()) folder.path += QLatin1Char('\\');
    return folder;
}

NameInFolder rebasedPriceFile(const QString& priceFile, const QString& key) {
    using namespace modPub_File;
    NameInFolder rebased = untrustedNameInFolder(GetParentPath(GetFilePath(priceFile)), key);
    if (rebased.accepted()) rebased.path += QLatin1Char('\\') + GetFileName(priceFile);
    return rebased;
}

}  // namespace kx
