// The writer's index trees: reading every entry and writing a fresh, fully packed tree.
#include <algorithm>

#include <set>

#include "codec/index_page.h"
#include "write/internal.h"

namespace jet::writer {
namespace {

// The writer makes Jet 4 files only.
const FormatLayout& kLayout = formatLayout(Version::Jet4);
const uint32_t kPrevOffset = kLayout.indexNextPageOffset - 4;
const uint32_t kNextOffset = kLayout.indexNextPageOffset;
const uint32_t kBitmaskOffset = kLayout.indexBitmaskOffset;
const uint32_t kFirstEntry = kLayout.indexFirstEntryOffset;
const uint32_t kEntryArea = kPageSize - kFirstEntry;
constexpr size_t kMaxDepth = 32;

void storeBigEndian32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

// The stored form of an entry: key, 3-byte page and 1-byte row, big-endian so entries sort as bytes.
std::string entryBytes(const KeyEntry& e) {
    std::string out = e.key;
    storeBigEndian32(out, e.row.packed());
    return out;
}

/// Decodes page `number` of the transaction as an index page of the table defined on page `owner`.
Result<IndexPage> readPage(PageTransaction& pages, uint32_t number, uint32_t owner) {
    JET_ASSIGN_OR_RETURN(const Page* page, pages.read(number));
    return decodeIndexPage(ByteView(page->data(), page->size()), kLayout, number, owner);
}

/// The pages of one index tree, each met once: a damaged tree that reaches a page twice is refused
/// before the writer would reuse its pages.
struct TreeWalk {
    PageTransaction& pages;
    uint32_t owner;
    std::set<uint32_t> seen;
    std::vector<uint32_t>& treePages;

    // Reads page `number`, which no path of this walk may have reached before.
    Result<IndexPage> visit(uint32_t number) {
        if (!seen.insert(number).second)
            return Status::Corruption("index page " + std::to_string(number) + " is reached twice");
        treePages.push_back(number);
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
        JET_ASSIGN_OR_RETURN(page, visit(number));
        for (const IndexEntry& e : page.entries)
            JET_RETURN_IF_ERROR(collectNodes(e.child, depth + 1, firstLeaf));
        return {};
    }
};

// Every entry in key order, read along the leaf chain: new keys at the end of an index may sit in a
// tail page that no node lists yet.
Status walk(PageTransaction& pages, uint32_t root, uint32_t owner, std::vector<KeyEntry>& entries,
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

// Groups entries into pages that each hold at most kEntryArea bytes.
std::vector<std::vector<std::string>> packPages(std::vector<std::string> entries) {
    std::vector<std::vector<std::string>> out(1);
    size_t used = 0;
    for (std::string& e : entries) {
        if (used + e.size() > kEntryArea && !out.back().empty()) {
            out.emplace_back();
            used = 0;
        }
        used += e.size();
        out.back().push_back(std::move(e));
    }
    return out;
}

void fillIndexPage(Page& page, uint8_t type, uint32_t tdefPage, uint32_t prev, uint32_t next,
                   const std::vector<std::string>& entries) {
    std::fill(page.begin(), page.end(), 0);
    page[0] = type;
    page[1] = 0x01;
    store32(page.data() + 4, tdefPage);
    store32(page.data() + kPrevOffset, prev);
    store32(page.data() + kNextOffset, next);
    uint32_t pos = kFirstEntry;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::copy(entries[i].begin(), entries[i].end(), page.begin() + pos);
        pos += static_cast<uint32_t>(entries[i].size());
        uint32_t bit = pos - kFirstEntry;  // marks where the next entry (or the end of data) begins
        page[kBitmaskOffset + bit / 8] =
            static_cast<uint8_t>(page[kBitmaskOffset + bit / 8] | (1u << (bit % 8)));
    }
    store16(page.data() + 2, static_cast<uint16_t>(kPageSize - pos));
}

}  // namespace

void initEmptyLeaf(Page& page, uint32_t tdefPage) {
    fillIndexPage(page, PageType::IndexLeaf, tdefPage, 0, 0, {});
}

Status readIndexTree(PageTransaction& pages, uint32_t root, uint32_t owner, std::vector<KeyEntry>& entries,
                     std::vector<uint32_t>& treePages) {
    return walk(pages, root, owner, entries, treePages);
}

Status writeIndexTree(PageTransaction& pages, uint32_t tdefPage, uint32_t root, std::vector<uint32_t> reuse,
                      const std::vector<KeyEntry>& sorted, std::vector<uint32_t>& treePages) {
    std::vector<std::string> level;
    level.reserve(sorted.size());
    for (const KeyEntry& e : sorted) level.push_back(entryBytes(e));
    std::reverse(reuse.begin(), reuse.end());  // taken from the back, lowest first
    auto takePage = [&]() {
        if (reuse.empty()) return pages.allocate();
        uint32_t n = reuse.back();
        reuse.pop_back();
        return n;
    };
    uint8_t type = PageType::IndexLeaf;
    treePages.clear();
    while (true) {
        std::vector<std::vector<std::string>> grouped = packPages(std::move(level));
        std::vector<uint32_t> numbers(grouped.size());
        if (grouped.size() == 1) {
            numbers[0] = root;
        } else {
            for (uint32_t& n : numbers) n = takePage();
        }
        std::vector<std::string> parents;
        for (size_t i = 0; i < grouped.size(); ++i) {
            JET_ASSIGN_OR_RETURN(Page * page, pages.edit(numbers[i]));
            uint32_t prev = i == 0 ? 0 : numbers[i - 1];
            uint32_t next = i + 1 == grouped.size() ? 0 : numbers[i + 1];
            fillIndexPage(*page, type, tdefPage, prev, next, grouped[i]);
            treePages.push_back(numbers[i]);
            if (grouped.size() > 1) {
                // A node entry repeats the last entry of its child and adds the child's page.
                std::string last = grouped[i].back();
                if (type == PageType::IndexNode) last.resize(last.size() - 4);
                storeBigEndian32(last, numbers[i]);
                parents.push_back(std::move(last));
            }
        }
        if (grouped.size() == 1) break;
        level = std::move(parents);
        type = PageType::IndexNode;
    }
    if (!reuse.empty()) {
        // Left-over pages of a larger old tree stay allocated as empty leaves no tree points at.
        for (uint32_t n : reuse) {
            JET_ASSIGN_OR_RETURN(Page * page, pages.edit(n));
            initEmptyLeaf(*page, tdefPage);
            treePages.push_back(n);
        }
    }
    std::sort(treePages.begin(), treePages.end());
    return {};
}

}  // namespace jet::writer
