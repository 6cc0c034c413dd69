// Usage maps: the pages a table, an index or a long-value column owns, or the pages with free space.
// One decoder for the reader and the writer, so both refuse the same damage.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "storage/format.h"

namespace jet {

/// Fetches page `number` of a reference map's bitmap pages. The view must stay valid until the next call.
using MapPageFetcher = std::function<Result<ByteView>(uint32_t number)>;

/// The pages listed by the usage map stored in `row` (an inline bitmap, or a list of bitmap pages read
/// through `fetch`), ascending. Corruption, naming `context`, for an unknown map type, a listed bitmap page
/// that is no usage-map page, or a listed page at or beyond `pageCount`.
Result<std::vector<uint32_t>> decodeUsageMap(ByteView row, const FormatLayout& layout, uint32_t pageCount,
                                             const MapPageFetcher& fetch, const std::string& context);

/// Pages one bitmap page of a reference map describes.
inline uint32_t pagesPerBitmapPage(const FormatLayout& layout) {
    return (layout.pageSize - 4) * 8;
}

}  // namespace jet
