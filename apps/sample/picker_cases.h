// The files of the sample directory that take the pickers down their less travelled roads: a library the
// quota catalogue does not list yet, a folder whose catalogue is missing and one of whose libraries has no
// name, a second material library with a price folder of its own, a catalogued price file that is not
// installed, a price file without an owner, and files to import from outside the catalogued folders.
#pragma once

#include <filesystem>

#include "sample/builder.h"

namespace sample {

/// Writes the pickers' files below `root` (after the material library, its price folder and catalogue),
/// each recorded in `report`. Their libraries and price files hold the content of scale 1 whatever the
/// build's scale: they are about files and catalogues, not sizes. docs/library-schemas.md lists them.
jet::Status writePickerCases(const std::filesystem::path& root, BuildReport& report);

}  // namespace sample
