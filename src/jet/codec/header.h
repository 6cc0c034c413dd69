// The header page (page 0): signature, format version, code page, database sort order and creation date.
// Most of it is scrambled with a fixed key; decoding and encoding undo and redo that.
#pragma once

#include <cstdint>
#include <vector>

#include "core/bytes.h"
#include "jet/status.h"
#include "jet/table.h"
#include "jet/version.h"

namespace jet {

/// What the engine reads from the header page.
struct DatabaseHeader {
    Version version = Version::Jet4;
    uint16_t codePage = 0;  ///< the Windows code page of Jet 3 text; 0 when the file names none
    SortOrder sortOrder;    ///< the database's sort order
};

/// Bytes at the start of the file that hold everything decodeHeader reads.
inline constexpr size_t kHeaderPrefixSize = 0x18 + 128;

/// The header in the first kHeaderPrefixSize bytes of a file; Corruption when the signature is wrong,
/// NotSupported for an unknown version or encrypted pages.
Result<DatabaseHeader> decodeHeader(ByteView prefix);

/// A whole Jet 4 header page: code page 1252, the General sort order, `created` (a Jet date) and an
/// empty password.
std::vector<uint8_t> encodeJet4Header(double created);

}  // namespace jet
