// The writer's index trees: whole trees read and written afresh, and trees changed entry by entry.
#include <algorithm>
#include <map>
#include <set>

#include "codec/index_page.h"
#include "write/internal.h"

namespace jet::writer {
namespace {

const size_t kEntryArea = indexEntryArea(kLayout);
constexpr size_t kMaxDepth = 32;

/// Decodes page `number` of the transaction as an index page of the table defined on page `owner`.
Result<IndexPage> readPage(PageTransaction& pages, uint32_t number, uint32_t owner) {
    JET_ASSIGN_OR_RETURN(const Page* page, pages.read(number));
    return decodeIndexPage(ByteView(page->data(), page->size()), kLayout, number, owner);
}

Status writePage(PageTransaction& pages, uint32_t number, uint32_t owner, const IndexPage& page) {
    JET_ASSIGN_OR_RETURN(Page * bytes, pages.edit(number));
    return encodeIndexPage(page, kLayout, owner, *bytes);
}

/// The pages of one index tree, each met once: a damaged tree that reaches a page twice is refused
/// before the writer would reuse its pages.
struct TreeWalk {
    PageTransaction& pages;
    uint32_t owner;
    std::set<uint32_t> seen;
    std::vector<uint32_t>& treePages;

    // Counts page `number` as the tree's; no path of this walk may have reached it before.
    Status claim(uint32_t number) {
        if (!seen.insert(number).second)
            return Status::Corruption("index page " + std::to_string(number) + " is reached twice");
        treePages.push_back(number);
        return {};
    }

    // Reads page `number` and claims it.
    Result<IndexPage> visit(uint32_t number) {
        JET_RETURN_IF_ERROR(claim(number));
        return readPage(pages, number, owner);
    }

    // Records every node page below `number` and finds the leftmost leaf (visited later, along the chain).
    Status collectNodes(uint32_t number, size_t depth, uint32_t& firstLeaf) {
        if (depth > kMaxDepth)
            return Status::Corruption("index tree too deep at page " + std::to_string(number));
        JET_ASSIGN_OR_RETURN(IndexPage page, readPage(pages, number, owner));
        if (page.leaf) {
            if (firstLeaf == 0) firstLeaf = number;
            return {};
        }
        JET_RETURN_IF_ERROR(claim(number));
        for (const IndexEntry& e : page.entries)
            JET_RETURN_IF_ERROR(collectNodes(e.child, depth + 1, firstLeaf));
        return {};
    }
};

size_t bytesOf(const std::vector<IndexEntry>& entries, bool leaf) {
    size_t total = 0;
    for (const IndexEntry& e : entries) total += encodedEntrySize(e, leaf);
    return total;
}

// Groups entries into pages that each hold at most kEntryArea bytes.
std::vector<std::vector<IndexEntry>> packPages(std::vector<IndexEntry> entries, bool leaf) {
    std::vector<std::vector<IndexEntry>> out(1);
    size_t used = 0;
    for (IndexEntry& e : entries) {
        size_t size = encodedEntrySize(e, leaf);
        if (used + size > kEntryArea && !out.back().empty()) {
            out.emplace_back();
            used = 0;
        }
        used += size;
        out.back().push_back(std::move(e));
    }
    return out;
}

bool entryBefore(const IndexEntry& e, const std::string& key, RowId row) {
    if (e.key != key) return e.key < key;
    return e.row.packed() < row.packed();
}

}  // namespace

void initEmptyLeaf(Page& page, uint32_t tdefPage) {
    IndexPage empty;
    empty.leaf = true;
    (void)encodeIndexPage(empty, kLayout, tdefPage, page);
}

// Every entry in key order, read along the leaf chain: new keys at the end of an index may sit in a
// tail page that no node lists yet.
Status readIndexTree(PageTransaction& pages, uint32_t root, uint32_t owner, std::vector<KeyEntry>& entries,
                     std::vector<uint32_t>& treePages) {
    TreeWalk tree{pages, owner, {}, treePages};
    uint32_t leaf = 0;
    JET_RETURN_IF_ERROR(tree.collectNodes(root, 0, leaf));
    while (leaf != 0) {
        JET_ASSIGN_OR_RETURN(IndexPage page, tree.visit(leaf));
        if (!page.leaf)
            return Status::Corruption("index leaf chain reaches node page " + std::to_string(leaf));
        for (IndexEntry& e : page.entries) entries.push_back(KeyEntry{std::move(e.key), e.row});
        leaf = page.next;
    }
    return {};
}

Status writeIndexTree(PageTransaction& pages, uint32_t tdefPage, uint32_t root, std::vector<uint32_t> reuse,
                      std::vector<KeyEntry> sorted, std::vector<uint32_t>& treePages) {
    std::vector<IndexEntry> level;
    level.reserve(sorted.size());
    for (KeyEntry& e : sorted) level.push_back(IndexEntry{std::move(e.key), e.row, 0});
    sorted = {};
    std::reverse(reuse.begin(), reuse.end());  // taken from the back, lowest first
    auto takePage = [&]() {
        if (reuse.empty()) return pages.allocate();
        uint32_t n = reuse.back();
        reuse.pop_back();
        return n;
    };
    bool leaf = true;
    treePages.clear();
    while (true) {
        std::vector<std::vector<IndexEntry>> grouped = packPages(std::move(level), leaf);
        std::vector<uint32_t> numbers(grouped.size());
        if (grouped.size() == 1) {
            numbers[0] = root;
        } else {
            for (uint32_t& n : numbers) n = takePage();
        }
        std::vector<IndexEntry> parents;
        for (size_t i = 0; i < grouped.size(); ++i) {
            IndexPage page;
            page.leaf = leaf;
            page.prev = i == 0 ? 0 : numbers[i - 1];
            page.next = i + 1 == grouped.size() ? 0 : numbers[i + 1];
            // A node entry repeats the last entry of its child and adds the child's page.
            if (grouped.size() > 1)
                parents.push_back(IndexEntry{grouped[i].back().key, grouped[i].back().row, numbers[i]});
            page.entries = std::move(grouped[i]);
            JET_RETURN_IF_ERROR(writePage(pages, numbers[i], tdefPage, page));
            treePages.push_back(numbers[i]);
        }
        if (grouped.size() == 1) break;
        level = std::move(parents);
        leaf = false;
    }
    // Left-over pages of a larger old tree stay allocated as empty leaves no tree points at.
    for (uint32_t n : reuse) {
        JET_ASSIGN_OR_RETURN(Page * page, pages.edit(n));
        initEmptyLeaf(*page, tdefPage);
        treePages.push_back(n);
    }
    std::sort(treePages.begin(), treePages.end());
    return {};
}

// ---------------------------------------------------------------------------------------------------------
// Trees changed entry by entry.

IndexTree::IndexTree(PageTransaction& pages, uint32_t root, uint32_t owner)
    : m_pages(pages), m_root(root), m_owner(owner) {}

IndexTree::~IndexTree() = default;

Result<IndexPage*> IndexTree::load(uint32_t number) {
    if (auto it = m_loaded.find(number); it != m_loaded.end()) return &it->second;
    JET_ASSIGN_OR_RETURN(IndexPage page, readPage(m_pages, number, m_owner));
    return &m_loaded.emplace(number, std::move(page)).first->second;
}

Result<bool> IndexTree::changeableInPlace() {
    // Files Access wrote may keep leaves no node lists yet (tail pages); entries placed by descending the
    // nodes could then land out of order. Such trees are rewritten whole instead.
    uint32_t number = m_root;
    for (size_t depth = 0; depth <= kMaxDepth; ++depth) {
        JET_ASSIGN_OR_RETURN(IndexPage * page, load(number));
        if (page->tail != 0) return false;
        if (page->leaf) return page->next == 0;
        if (page->entries.empty()) return false;
        number = page->entries.back().child;
    }
    return Status::Corruption("index tree too deep at page " + std::to_string(m_root));
}

Status IndexTree::descend(const std::string& key, RowId row, std::vector<Step>& path) {
    path.clear();
    uint32_t number = m_root;
    for (size_t depth = 0;; ++depth) {
        if (depth > kMaxDepth)
            return Status::Corruption("index tree too deep at page " + std::to_string(m_root));
        JET_ASSIGN_OR_RETURN(IndexPage * page, load(number));
        if (page->leaf) {
            path.push_back({number, 0});
            return {};
        }
        if (page->entries.empty())
            return Status::Corruption("empty index node page " + std::to_string(number));
        // A node entry holds the last entry below it: the first not before the wanted one leads there.
        auto it = std::find_if_not(page->entries.begin(), page->entries.end() - 1,
                                   [&](const IndexEntry& e) { return entryBefore(e, key, row); });
        size_t slot = static_cast<size_t>(it - page->entries.begin());
        path.push_back({number, slot});
        number = page->entries[slot].child;
    }
}

Result<bool> IndexTree::containsKey(const std::string& key) {
    std::vector<Step> path;
    JET_RETURN_IF_ERROR(descend(key, RowId{}, path));
    uint32_t number = path.back().page;
    std::set<uint32_t> seen;
    while (number != 0 && seen.insert(number).second) {
        JET_ASSIGN_OR_RETURN(IndexPage * leaf, load(number));
        auto it = std::find_if_not(leaf->entries.begin(), leaf->entries.end(),
                                   [&](const IndexEntry& e) { return e.key < key; });
        // The first entry not below the key, here or on a later leaf, is the only one that can match.
        if (it != leaf->entries.end()) return it->key == key;
        number = leaf->next;
    }
    return false;
}

Status IndexTree::insert(const std::string& key, RowId row) {
    std::vector<Step> path;
    JET_RETURN_IF_ERROR(descend(key, row, path));
    JET_ASSIGN_OR_RETURN(IndexPage * leaf, load(path.back().page));
    auto it = std::find_if_not(leaf->entries.begin(), leaf->entries.end(),
                               [&](const IndexEntry& e) { return entryBefore(e, key, row); });
    bool newLast = it == leaf->entries.end();
    leaf->entries.insert(it, IndexEntry{key, row, 0});
    m_dirty.insert(path.back().page);
    if (newLast) JET_RETURN_IF_ERROR(raiseBounds(path, IndexEntry{key, row, 0}));
    return splitIfFull(path, path.size() - 1);
}

// The entry that ends a subtree moved: every node entry standing for that subtree, up to the first
// node where it is not the last entry, now holds the new last entry.
Status IndexTree::raiseBounds(const std::vector<Step>& path, const IndexEntry& last) {
    for (size_t level = path.size() - 1; level-- > 0;) {
        JET_ASSIGN_OR_RETURN(IndexPage * node, load(path[level].page));
        IndexEntry& bound = node->entries[path[level].slot];
        bound.key = last.key;
        bound.row = last.row;
        m_dirty.insert(path[level].page);
        if (path[level].slot + 1 != node->entries.size()) break;
    }
    return {};
}

Status IndexTree::splitIfFull(const std::vector<Step>& path, size_t level) {
    JET_ASSIGN_OR_RETURN(IndexPage * page, load(path[level].page));
    if (bytesOf(page->entries, page->leaf) <= kEntryArea) return {};
    if (level == 0) return splitRoot();
    // The first half stays; the second moves to a new page after it at the same level.
    uint32_t number = path[level].page;
    uint32_t right = m_pages.allocate();
    m_added.push_back(right);
    IndexPage moved;
    moved.leaf = page->leaf;
    size_t half = halfOf(page->entries, page->leaf);
    moved.entries.assign(std::make_move_iterator(page->entries.begin() + static_cast<std::ptrdiff_t>(half)),
                         std::make_move_iterator(page->entries.end()));
    page->entries.resize(half);
    moved.prev = number;
    moved.next = page->next;
    if (page->next != 0) {
        JET_ASSIGN_OR_RETURN(IndexPage * after, load(page->next));
        after->prev = right;
        m_dirty.insert(page->next);
    }
    page->next = right;
    IndexEntry leftBound{page->entries.back().key, page->entries.back().row, number};
    IndexEntry rightBound{moved.entries.back().key, moved.entries.back().row, right};
    m_loaded.emplace(right, std::move(moved));
    m_dirty.insert(number);
    m_dirty.insert(right);
    // The parent's entry for this page now stands for the first half; the second half's follows it.
    JET_ASSIGN_OR_RETURN(IndexPage * parent, load(path[level - 1].page));
    size_t slot = path[level - 1].slot;
    rightBound.key = parent->entries[slot].key;
    rightBound.row = parent->entries[slot].row;
    parent->entries[slot] = leftBound;
    parent->entries.insert(parent->entries.begin() + static_cast<std::ptrdiff_t>(slot) + 1, rightBound);
    m_dirty.insert(path[level - 1].page);
    return splitIfFull(path, level - 1);
}

// The root keeps its page: its entries move to two new pages below it.
Status IndexTree::splitRoot() {
    JET_ASSIGN_OR_RETURN(IndexPage * root, load(m_root));
    uint32_t left = m_pages.allocate(), right = m_pages.allocate();
    m_added.push_back(left);
    m_added.push_back(right);
    size_t half = halfOf(root->entries, root->leaf);
    IndexPage first, second;
    first.leaf = second.leaf = root->leaf;
    first.entries.assign(root->entries.begin(), root->entries.begin() + static_cast<std::ptrdiff_t>(half));
    second.entries.assign(root->entries.begin() + static_cast<std::ptrdiff_t>(half), root->entries.end());
    first.next = right;
    second.prev = left;
    root->leaf = false;
    root->prev = root->next = root->tail = 0;
    root->entries = {IndexEntry{first.entries.back().key, first.entries.back().row, left},
                     IndexEntry{second.entries.back().key, second.entries.back().row, right}};
    m_loaded.emplace(left, std::move(first));
    m_loaded.emplace(right, std::move(second));
    m_dirty.insert({m_root, left, right});
    return {};
}

size_t IndexTree::halfOf(const std::vector<IndexEntry>& entries, bool leaf) {
    size_t total = bytesOf(entries, leaf), used = 0, i = 0;
    while (i + 1 < entries.size() && used + encodedEntrySize(entries[i], leaf) <= total / 2)
        used += encodedEntrySize(entries[i++], leaf);
    return std::max<size_t>(i, 1);
}

Result<bool> IndexTree::remove(const std::string& key, RowId row) {
    std::vector<Step> path;
    JET_RETURN_IF_ERROR(descend(key, row, path));
    JET_ASSIGN_OR_RETURN(IndexPage * leaf, load(path.back().page));
    auto it = std::find_if(leaf->entries.begin(), leaf->entries.end(),
                           [&](const IndexEntry& e) { return e.key == key && e.row == row; });
    if (it == leaf->entries.end()) return false;
    leaf->entries.erase(it);
    m_dirty.insert(path.back().page);
    // A node entry may keep standing for a larger last entry than its subtree still holds: it still
    // parts the keys correctly. Only pages left empty leave the tree.
    JET_RETURN_IF_ERROR(dropIfEmpty(path, path.size() - 1));
    return true;
}

Status IndexTree::dropIfEmpty(const std::vector<Step>& path, size_t level) {
    JET_ASSIGN_OR_RETURN(IndexPage * page, load(path[level].page));
    if (!page->entries.empty()) return {};
    if (level == 0) {
        // An index with no entries left is a single empty leaf again.
        *page = IndexPage{};
        page->leaf = true;
        m_dirty.insert(path[0].page);
        return {};
    }
    uint32_t number = path[level].page;
    if (page->prev != 0) {
        JET_ASSIGN_OR_RETURN(IndexPage * before, load(page->prev));
        before->next = page->next;
        m_dirty.insert(page->prev);
    }
    if (page->next != 0) {
        JET_ASSIGN_OR_RETURN(IndexPage * after, load(page->next));
        after->prev = page->prev;
        m_dirty.insert(page->next);
    }
    // The page stays the index's as an empty leaf that nothing points at, as a rebuild leaves spare pages.
    *page = IndexPage{};
    page->leaf = true;
    m_dirty.insert(number);
    JET_ASSIGN_OR_RETURN(IndexPage * parent, load(path[level - 1].page));
    parent->entries.erase(parent->entries.begin() + static_cast<std::ptrdiff_t>(path[level - 1].slot));
    m_dirty.insert(path[level - 1].page);
    return dropIfEmpty(path, level - 1);
}

Status IndexTree::flush() {
    for (uint32_t number : m_dirty)
        JET_RETURN_IF_ERROR(writePage(m_pages, number, m_owner, m_loaded.at(number)));
    m_dirty.clear();
    return {};
}

}  // namespace jet::writer
