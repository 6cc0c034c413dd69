// ZIP extraction over libzip: every member with its folders, existing files replaced only when the caller
// agrees, encrypted members refused, nothing written outside the extraction folder, and the package's
// size bounded before and while it is written.
#pragma once

#include <QString>
#include <functional>
#include "kxview/kxview_core_export.h"
#include "kxview/updateprompts.h"
#include "kxview/updates.h"

namespace kx {

/// How an extraction ended. The values up to 82 are the result codes of Info-ZIP's unzip; 0 is success.
/// From Damaged on, the extraction is a failure and removes every file and folder it wrote.
enum class UnzipResult : int {
    Ok = 0,
    Skipped = 1,  ///< some members were not extracted: encrypted, or in the way of a link
    Damaged =
        2,  ///< a member's data is damaged or longer than it declares, or its path would leave the folder
    NotZip = 9,             ///< no archive, an empty file, or no ZIP directory
    DiskError = 50,         ///< a folder or file could not be written
    NothingExtracted = 82,  ///< every member was encrypted (no password is ever supplied)
    TooManyMembers = 90,    ///< more members than UpdateLimits::maxPackageMembers: nothing was written
    TooLarge = 91,      ///< the members declare more than UpdateLimits::maxUnpackedBytes: nothing was written
    RatioTooHigh = 92,  ///< they declare more than UpdateLimits::maxCompressionRatio times the archive
};

/// Asked for each member whose file already exists, with the path it would be written to.
using ReplaceQuestion = std::function<ReplaceAnswer(const QString& target)>;

/// Extracts every member of `archive` into the existing folder `folder`, recreating the folders stored in
/// member names.
///
/// Member names without the UTF-8 flag are read as GB18030. If any member's path is absolute or climbs
/// out of `folder`, or the members exceed the count, size or ratio of `limits` by what they declare,
/// nothing at all is extracted; a member that holds more than it declares stops the extraction. Every
/// file is written under a temporary name and renamed when complete; when the extraction fails, what it
/// wrote is removed again. `ask` decides about existing files; without it they are replaced.
KXVIEW_CORE_EXPORT UnzipResult extractZip(const QString& archive, const QString& folder,
                                          const ReplaceQuestion& ask, const UpdateLimits& limits = {});

}  // namespace kx
