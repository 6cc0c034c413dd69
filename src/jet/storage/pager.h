// Page access with a bounded cache. Pages are immutable once handed out; writers replace them whole.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "jet/file.h"
#include "storage/bytes.h"

namespace jet {

/// One page's bytes, shared between the cache and its readers.
using PageRef = std::shared_ptr<const std::vector<uint8_t>>;

/// Reads fixed-size pages from a File and keeps recently used ones.
class Pager {
public:
    /// A pager over `file` with pages of `pageSize` bytes, holding at most `cachePages` pages.
    Pager(File& file, uint32_t pageSize, size_t cachePages);

    /// The page `number`; a page past the end of the file is Corruption.
    Result<PageRef> page(uint32_t number);
    /// Replaces page `number` on disk and in the cache.
    Status writePage(uint32_t number, std::vector<uint8_t> bytes);
    /// Number of whole pages in the file.
    uint32_t pageCount() const { return m_pageCount; }
    uint32_t pageSize() const { return m_pageSize; }
    /// Forgets every cached page (after a failed write, or after pages were written around the pager).
    /// Also rereads the file's size, which a writer working below the pager may have changed.
    void clear() {
        m_cache.clear();
        m_pageCount = static_cast<uint32_t>(m_file.size() / m_pageSize);
    }

private:
    File& m_file;
    uint32_t m_pageSize;
    size_t m_cachePages;
    uint32_t m_pageCount;  // kept here: asking the file for its size on every miss costs a system call
    std::vector<uint8_t> m_readBuffer;
    std::unordered_map<uint32_t, PageRef> m_cache;
};

/// The page view of a PageRef.
inline ByteView view(const PageRef& page) {
    return ByteView(page->data(), page->size());
}

}  // namespace jet
