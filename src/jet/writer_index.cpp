// The writer's index trees: reading every entry and writing a fresh, fully packed tree.
#include <algorithm>

#include "writer_internal.h"

namespace jet::writer {
namespace {

constexpr uint32_t kPrevOffset = 12;
constexpr uint32_t kNextOffset = 16;
constexpr uint32_t kBitmaskOffset = 0x1B;
constexpr uint32_t kFirstEntry = 0x1E0;
constexpr uint32_t kPrefixOffset = 24;
constexpr uint32_t kEntryArea = kPageSize - kFirstEntry;
constexpr size_t kMaxDepth = 32;

void storeBigEndian32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

uint32_t loadBigEndian(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

// The stored form of an entry: key, 3-byte page and 1-byte row, big-endian so entries sort as bytes.
std::string entryBytes(const KeyEntry& e) {
    std::string out = e.key;
    storeBigEndian32(out, e.row.packed());
    return out;
}

struct RawEntry {
    std::string bytes;  // key and row pointer (and child pointer on node pages)
};

Status decodePage(const Page& page, uint32_t number, std::vector<RawEntry>& out) {
    std::vector<size_t> starts{kFirstEntry};
    for (size_t byte = kBitmaskOffset; byte < kFirstEntry; ++byte) {
        for (int bit = 0; page[byte] != 0 && bit < 8; ++bit) {
            if ((page[byte] >> bit) & 1) starts.push_back(kFirstEntry + (byte - kBitmaskOffset) * 8 + bit);
        }
    }
    size_t prefixLength = ByteView::load16(page.data() + kPrefixOffset);
    std::string prefix;
    for (size_t i = 0; i + 1 < starts.size(); ++i) {
        if (starts[i + 1] <= starts[i] || starts[i + 1] > kPageSize)
            return Status::Corruption("index page " + std::to_string(number) + " has a bad entry mask");
        std::string bytes(reinterpret_cast<const char*>(page.data() + starts[i]), starts[i + 1] - starts[i]);
        if (i == 0) {
            if (prefixLength > bytes.size()) return Status::Corruption("index prefix longer than its entry");
            prefix = bytes.substr(0, prefixLength);
        } else {
            bytes.insert(0, prefix);
        }
        out.push_back({std::move(bytes)});
    }
    return {};
}

Status walk(PageSet& pages, uint32_t number, size_t depth, std::vector<KeyEntry>& entries,
            std::vector<uint32_t>& treePages) {
    if (depth > kMaxDepth) return Status::Corruption("index tree too deep");
    JET_ASSIGN_OR_RETURN(const Page* page, pages.read(number));
    uint8_t type = (*page)[0];
    if (type != kLeafPage && type != kNodePage)
        return Status::Corruption("page " + std::to_string(number) + " is not an index page");
    treePages.push_back(number);
    std::vector<RawEntry> raw;
    JET_RETURN_IF_ERROR(decodePage(*page, number, raw));
    size_t tail = type == kLeafPage ? 4 : 8;
    for (const RawEntry& r : raw) {
        if (r.bytes.size() < tail) return Status::Corruption("index entry shorter than its pointers");
        const auto* p = reinterpret_cast<const uint8_t*>(r.bytes.data() + r.bytes.size() - tail);
        if (type == kNodePage) {
            JET_RETURN_IF_ERROR(walk(pages, loadBigEndian(p + 4, 4), depth + 1, entries, treePages));
            continue;
        }
        KeyEntry e;
        e.key = r.bytes.substr(0, r.bytes.size() - tail);
        e.row = RowId{loadBigEndian(p, 3), p[3]};
        entries.push_back(std::move(e));
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
    fillIndexPage(page, kLeafPage, tdefPage, 0, 0, {});
}

Status readIndexTree(PageSet& pages, uint32_t root, std::vector<KeyEntry>& entries,
                     std::vector<uint32_t>& treePages) {
    return walk(pages, root, 0, entries, treePages);
}

Status writeIndexTree(PageSet& pages, uint32_t tdefPage, uint32_t root, std::vector<uint32_t> reuse,
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
    uint8_t type = kLeafPage;
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
                if (type == kNodePage) last.resize(last.size() - 4);
                storeBigEndian32(last, numbers[i]);
                parents.push_back(std::move(last));
            }
        }
        if (grouped.size() == 1) break;
        level = std::move(parents);
        type = kNodePage;
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
