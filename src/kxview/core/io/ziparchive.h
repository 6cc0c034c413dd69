// ZIP extraction over libzip: every member with its folders, existing files replaced only when the caller
// agrees, encrypted members refused, and nothing written outside the extraction folder.
#pragma once

#include <QString>
#include <functional>
#include "kxview/kxview_core_export.h"
#include "kxview/updateprompts.h"

namespace kx {

/// How an extraction ended. The values are the result codes of Info-ZIP's unzip; 0 is success.
enum class UnzipResult : int {
    Ok = 0,
    Skipped = 1,            ///< some members were not extracted: encrypted, or in the way of a link
    Damaged = 2,            ///< a member's data is damaged, or a member's path would leave the folder
    NotZip = 9,             ///< no archive, an empty file, or no ZIP directory
    DiskError = 50,         ///< a folder or file could not be written
    NothingExtracted = 82,  ///< every member was encrypted (no password is ever supplied)
};

/// Asked for each member whose file already exists, with the path it would be written to.
using ReplaceQuestion = std::function<ReplaceAnswer(const QString& target)>;

/// Extracts every member of `archive` into the existing folder `folder`, recreating the folders stored in
/// member names.
///
/// Member names without the UTF-8 flag are read as GB18030. If any member's path is absolute or climbs
/// out of `folder`, nothing at all is extracted. Every file is written under a temporary name and renamed
/// when complete. `ask` decides about existing files; without it they are replaced.
KXVIEW_CORE_EXPORT UnzipResult extractZip(const QString& archive, const QString& folder,
                                          const ReplaceQuestion& ask);

}  // namespace kx
