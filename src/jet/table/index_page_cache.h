// Decoded index pages, kept while the pager holds the bytes they were decoded from, so that repeated
// seeks descend a tree without decoding its pages again.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "codec/index_page.h"
#include "jet/status.h"
#include "storage/format.h"
#include "storage/pager.h"

namespace jet {

/// A cache of decoded index pages in front of a pager.
class IndexPageCache {
public:
    IndexPageCache(Pager& pager, const FormatLayout& layout) : m_pager(pager), m_layout(layout) {}

    /// Index page `number` of the table defined on page `owner`, decoded; Corruption when it is not one.
    Result<std::shared_ptr<const IndexPage>> page(uint32_t number, uint32_t owner);
    /// Forgets every decoded page.
    void clear() { m_pages.clear(); }

private:
    /// A decoded page and the bytes it came from (stale once the pager holds other bytes).
    struct Entry {
        PageRef source;
        uint32_t owner = 0;
        std::shared_ptr<const IndexPage> page;
    };
    Pager& m_pager;
    const FormatLayout& m_layout;
    std::unordered_map<uint32_t, Entry> m_pages;
};

}  // namespace jet
