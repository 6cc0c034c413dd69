// Where the browser's pickers look: a library's price folder, and a price file carried over to the price
// folder of another library.
#pragma once

#include <QString>

#include "core/data/untrusted_names.h"

namespace kx {

/// The price folder of the library `libraryFile` whose price key (KeyInfo "Key" of a material library,
/// "WithMateKey" of a quota library) is `key`: the parent of the library's folder, "材料价格文件\", the
/// key, and a separator. Refused when the key is no plain folder name.
NameInFolder priceFolderOf(const QString& libraryFile, const QString& key);

/// The price file `priceFile` moved to the price folder named `key` beside its own: the parent of its
/// folder, the key, a separator and its file name ("...\K1\A.QTJG" with K2 gives "...\K2\A.QTJG").
/// Refused when the key is no plain folder name.
NameInFolder rebasedPriceFile(const QString& priceFile, const QString& key);

}  // namespace kx
