// The files of the sample directory that take the pickers down their less travelled roads: a library the
// quota catalogue does not list yet, a folder whose catalogue is missing and one of whose libraries has no
// name, a second material library with a price folder of its own, a catalogued price file that is not
// installed, a price file without an owner, and files to import from outside the catalogued folders.
#pragma once

#include <filesystem>

#include "norm_content.h"
#include "sample/builder.h"

namespace sample {

/// What the rest of the build made that these files draw on.
struct PickerCaseContent {
    const MaterialContent& materials;
    const QuotaContent& building;
    const QuotaContent& installation;
};

/// Writes the pickers' files below `root` (after the material library, its price folder and catalogue),
/// each recorded in `report`. docs/library-schemas.md lists them.
jet::Status writePickerCases(const std::filesystem::path& root, const PickerCaseContent& content,
                             BuildReport& report);

}  // namespace sample
