// What the update service offers, read from the files it sent and compared with what is installed.
#pragma once

#include <QString>
#include "kxview/kxview_core_export.h"
#include "kxview/updateprompts.h"

namespace kx {

/// The offer of the information file `informationFile` for the installed quota library `libraryFile`:
/// the library's "Ver", and the version and change lines of the file's "Update"/"Info" element (not
/// readable when it lacks them). A file larger, or with more change lines, than the host's UpdateLimits
/// allow is refused unread (the offer says why). Throws kx::DbError when the library cannot be read.
KXVIEW_CORE_EXPORT QuotaLibraryOffer readQuotaLibraryOffer(const QString& informationFile,
                                                           const QString& libraryFile);

/// The folder of the installed price set `mateKey`: `dataPath` + "材料价格文件\" + key + "\".
KXVIEW_CORE_EXPORT QString installedPriceSetFolder(const QString& dataPath, const QString& mateKey);

/// The entries of the offered price catalogue `offeredCatalogue`, depth first, each file compared with the
/// installed set `mateKey` below `dataPath`: New when its file is not installed; Changed when its creation
/// and update dates differ and the installed catalogue records another update date for it; Same
/// otherwise. Entries a damaged parent chain would list twice are listed once. Throws kx::DbError when a
/// catalogue cannot be read.
KXVIEW_CORE_EXPORT PriceSetOffer readPriceSetOffer(const QString& offeredCatalogue, const QString& dataPath,
                                                   const QString& mateKey);

/// Deletes from the price catalogue `catalogue` every entry whose WithFileName kx::untrustedNameInFolder
/// refuses in `setFolder`, the folder the set's files are installed to (a name that is not a plain file
/// name, or a link there that leads out of it), each with a log line. Throws kx::DbError when the
/// catalogue cannot be read or written.
KXVIEW_CORE_EXPORT void dropEntriesWithUntrustedNames(const QString& catalogue, const QString& setFolder);

}  // namespace kx
