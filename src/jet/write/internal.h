// Internals of the writer: usage maps, data pages and index trees, changed inside a PageTransaction.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "codec/data_page.h"
#include "codec/index_page.h"
#include "core/bytes.h"
#include "jet/file.h"
#include "jet/table.h"
#include "storage/format.h"
#include "storage/pager.h"

namespace jet::writer {

/// The layout of the files the writer makes and changes: Jet 4.
inline const FormatLayout& kLayout = formatLayout(Version::Jet4);
inline constexpr uint32_t kMapRowSize = 69;  // type, start page, 64 bitmap bytes
inline constexpr uint32_t kGlobalMapRef = (1u << 8) | 0;

/// The data page `number` of the transaction, read through the codec's checks.
Result<DataPage> readDataPage(PageTransaction& pages, uint32_t number);
/// Page `number` for changing, after DataPage::checkForWriting for `owner`.
Result<Page*> editDataPage(PageTransaction& pages, uint32_t number, uint32_t owner);

/// The pages a usage map lists (a packed row reference), ascending.
Result<std::vector<uint32_t>> readUsageMap(PageTransaction& pages, uint32_t ref);
/// Rewrites the usage map at `ref` to list exactly `sorted`.
Status writePageList(PageTransaction& pages, uint32_t ref, const std::vector<uint32_t>& sorted);
/// Updates the global map on page 1: every page of the file is in use.
Status writeGlobalMap(PageTransaction& pages);
/// Adds a row of `kMapRowSize` zero bytes for a usage map to a map page; its packed reference.
Result<uint32_t> addMapRow(PageTransaction& pages, uint32_t& mapPage);

/// One index entry: the encoded key and the row it points at.
struct KeyEntry {
    std::string key;
    RowId row;
    bool fresh = false;    // added by this write
    bool hasNull = false;  // a key column is Null (exempt from uniqueness)
    bool ignored = false;  // every key column is Null in an index that leaves such rows out
};

/// Collects the entries of the index tree under `root`, of the table defined on page `owner`, and the
/// pages the tree occupies.
Status readIndexTree(PageTransaction& pages, uint32_t root, uint32_t owner, std::vector<KeyEntry>& entries,
                     std::vector<uint32_t>& treePages);
/// Writes a fresh tree of `sorted` entries: the root stays on `root`, other pages come from `reuse` then
/// new pages. Returns every page of the new tree in `treePages`.
Status writeIndexTree(PageTransaction& pages, uint32_t tdefPage, uint32_t root, std::vector<uint32_t> reuse,
                      std::vector<KeyEntry> sorted, std::vector<uint32_t>& treePages);
/// Writes an empty leaf as the root of a new index.
void initEmptyLeaf(Page& page, uint32_t tdefPage);

/// An index B-tree changed entry by entry: pages are decoded once, changed in memory, and written back by
/// flush. Inserts split full pages (the root keeps its page); removals drop pages left empty. A node
/// entry stands for the last entry below it and may stay larger than that entry after removals, which
/// still parts the keys correctly.
class IndexTree {
public:
    /// The tree under `root` of the table defined on page `owner`.
    IndexTree(PageTransaction& pages, uint32_t root, uint32_t owner);
    ~IndexTree();
    IndexTree(const IndexTree&) = delete;
    IndexTree& operator=(const IndexTree&) = delete;

    /// False when the tree has a shape this class does not change in place (leaves that no node lists
    /// yet, as Access leaves them): the caller rewrites such a tree whole.
    Result<bool> changeableInPlace();
    /// True when some entry has key `key`.
    Result<bool> containsKey(const std::string& key);
    /// Adds the entry (key, row).
    Status insert(const std::string& key, RowId row);
    /// Removes the entry (key, row); false when there is none.
    Result<bool> remove(const std::string& key, RowId row);
    /// Writes the changed pages into the transaction.
    Status flush();
    /// Pages the tree gained.
    const std::vector<uint32_t>& addedPages() const { return m_added; }

private:
    struct Step {
        uint32_t page;
        size_t slot;  // node pages: the entry followed down
    };
    Result<IndexPage*> load(uint32_t number);
    Status descend(const std::string& key, RowId row, std::vector<Step>& path);
    Status raiseBounds(const std::vector<Step>& path, const IndexEntry& last);
    Status splitIfFull(const std::vector<Step>& path, size_t level);
    Status splitRoot();
    Status dropIfEmpty(const std::vector<Step>& path, size_t level);
    static size_t halfOf(const std::vector<IndexEntry>& entries, bool leaf);

    PageTransaction& m_pages;
    uint32_t m_root;
    uint32_t m_owner;
    std::map<uint32_t, IndexPage> m_loaded;
    std::set<uint32_t> m_dirty;
    std::vector<uint32_t> m_added;
};

}  // namespace jet::writer
