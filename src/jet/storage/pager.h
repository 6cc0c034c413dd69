// Page access for reading and writing. A bounded cache serves readers; a write gathers the pages it
// reads and changes in a PageTransaction, whose commit writes them atomically (see journal.h) and hands
// them to the cache.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

#include "core/bytes.h"
#include "jet/file.h"
#include "storage/journal.h"

namespace jet {

/// One page's bytes.
using Page = std::vector<uint8_t>;
/// One page's bytes, shared between the cache and its readers; never changed once handed out.
using PageRef = std::shared_ptr<const Page>;

/// Reads fixed-size pages of the database a File holds (as its ReadView shows it) and keeps recently used
/// ones.
class Pager {
public:
    /// A pager over `file` with pages of `pageSize` bytes, holding at most `cachePages` pages. It sees the
    /// whole file until reload looks at the file's end.
    Pager(File& file, uint32_t pageSize, size_t cachePages);

    /// The page `number`; a page past the end of the file is Corruption.
    Result<PageRef> page(uint32_t number);
    /// Number of whole pages in the file.
    uint32_t pageCount() const { return m_pageCount; }
    uint32_t pageSize() const { return m_pageSize; }
    /// The file the pages come from.
    File& file() { return m_file; }
    /// Forgets every cached page and looks at the file's length and end again (after another writer
    /// committed, or a crash left a journal).
    Status reload();
    /// Takes the pages of a commit that reached the file as the cache's, and the file's new page count.
    Status adopt(std::map<uint32_t, Page>& committed, uint32_t pageCount);

private:
    void remember(uint32_t number, PageRef page);

    File& m_file;
    ReadView m_view;
    uint32_t m_pageSize;
    size_t m_cachePages;
    uint32_t m_pageCount;  // kept here: asking the file for its size on every miss costs a system call
    std::vector<uint8_t> m_readBuffer;
    std::unordered_map<uint32_t, PageRef> m_cache;
};

/// The pages one write reads and changes, held in memory until commit: nothing reaches the file's own
/// pages before, so a write refused half-way leaves the file as it was. Pages read stay pinned for the
/// transaction's life, so the cache may drop them without pulling them from under the writer.
///
/// A write larger than memory should hold (an import of a million rows) appends its new pages to the file
/// when it calls spillIfFull with more than the spill limit of them held, each time recording the file's
/// old length behind them (see journal.h); a write that does not commit cuts them off again.
class PageTransaction {
public:
    explicit PageTransaction(Pager& pager);
    ~PageTransaction();
    PageTransaction(const PageTransaction&) = delete;
    PageTransaction& operator=(const PageTransaction&) = delete;

    /// New pages held in memory before spillIfFull sends them to the file ahead of the commit.
    void setSpillLimit(size_t pages) { m_spillLimit = pages; }
    /// Sends the new pages held in memory, but the newest, to the file when there are more than the spill
    /// limit. Pointers from read and edit do not survive it: call it where the writer holds none.
    Status spillIfFull();

    /// The page for reading (this transaction's version when it changed it).
    Result<const Page*> read(uint32_t number);
    /// The page for changing; it will be written at commit.
    Result<Page*> edit(uint32_t number);
    /// A new zeroed page at the end of the file.
    uint32_t allocate();
    /// Pages in the file once committed.
    uint32_t pageCount() const { return m_pageCount; }
    /// Pages added by this transaction start here.
    uint32_t firstNewPage() const { return m_filePages; }
    uint32_t pageSize() const { return m_pager.pageSize(); }
    /// The numbers of the pages changed or added so far, ascending.
    std::vector<uint32_t> changedPages() const;
    /// Writes every changed and added page as one atomic change (see journal.h) and hands them to the
    /// pager's cache; after a failure the cache is cleared, as the file may hold part of the change.
    Status commit();

private:
    Result<const Page*> readAppended(uint32_t number);
    Status spill();

    Pager& m_pager;
    uint64_t m_fileSize;   // the database's length before this write
    uint32_t m_filePages;  // pages before this write
    uint32_t m_pageCount;
    std::map<uint32_t, PageRef> m_pinned;
    std::map<uint32_t, Page> m_changed;
    size_t m_spillLimit = 8192;
    size_t m_newInMemory = 0;
    std::set<uint32_t> m_appended;  // new pages already in the file
    bool m_appendedAhead = false;   // pages went to the file before the commit
    bool m_committed = false;
};

/// The page view of a PageRef.
inline ByteView view(const PageRef& page) {
    return ByteView(page->data(), page->size());
}

}  // namespace jet
