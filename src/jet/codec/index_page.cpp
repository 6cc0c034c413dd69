#include "codec/index_page.h"

namespace jet {
namespace {

constexpr size_t kRowPointerSize = 4;  // 3-byte page + 1-byte row, big-endian
constexpr size_t kChildPointerSize = 4;
constexpr size_t kOwnerOffset = 4;  // the table definition page, as on data pages

uint32_t loadBigEndian24(const uint8_t* p) {
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}
uint32_t loadBigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | loadBigEndian24(p + 1);
}

void appendBigEndian32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

}  // namespace

Result<IndexPage> decodeIndexPage(ByteView bytes, const FormatLayout& L, uint32_t number, uint32_t owner) {
    std::string where = "index page " + std::to_string(number);
    if (bytes.size() != L.pageSize) return Status::Corruption(where + " is not a whole page");
    const uint8_t* p = bytes.data();
    if (p[0] != PageType::IndexNode && p[0] != PageType::IndexLeaf) {
        return Status::Corruption(where + " has page type " + std::to_string(p[0]));
    }
    if (uint32_t stored = ByteView::load32(p + kOwnerOffset); stored != owner) {
        return Status::Corruption(where + " belongs to the table defined on page " + std::to_string(stored) +
                                  ", not to the one on page " + std::to_string(owner));
    }
    IndexPage page;
    page.leaf = p[0] == PageType::IndexLeaf;
    page.prev = ByteView::load32(p + L.indexNextPageOffset - 4);
    page.next = ByteView::load32(p + L.indexNextPageOffset);
    page.tail = ByteView::load32(p + L.indexNextPageOffset + 4);
    // The shared-prefix length is one byte; Jet 3 node pages may set the byte after it.
    size_t prefixLength = p[L.indexPrefixLengthOffset];
    size_t tailSize = kRowPointerSize + (page.leaf ? 0 : kChildPointerSize);

    // Entry starts are flagged in a bitmask; the first entry's start is implicit.
    std::vector<size_t> starts{L.indexFirstEntryOffset};
    for (size_t byte = L.indexBitmaskOffset; byte < L.indexFirstEntryOffset; ++byte) {
        for (int bit = 0; p[byte] != 0 && bit < 8; ++bit) {
            if ((p[byte] >> bit) & 1) {
                starts.push_back(L.indexFirstEntryOffset + (byte - L.indexBitmaskOffset) * 8 +
                                 static_cast<size_t>(bit));
            }
        }
    }
    if (starts.back() > L.pageSize) return Status::Corruption(where + ": entry bitmask points past the page");
    std::string prefix;
    for (size_t i = 0; i + 1 < starts.size(); ++i) {
        size_t begin = starts[i], end = starts[i + 1];
        if (end <= begin) return Status::Corruption(where + ": entry bitmask out of order");
        IndexEntry e;
        if (i == 0) {
            e.key.assign(reinterpret_cast<const char*>(p + begin), end - begin);
            if (prefixLength > e.key.size())
                return Status::Corruption(where + ": shared prefix longer than an entry");
            prefix = e.key.substr(0, prefixLength);
        } else {
            e.key = prefix;
            e.key.append(reinterpret_cast<const char*>(p + begin), end - begin);
        }
        if (e.key.size() < tailSize) return Status::Corruption(where + ": entry shorter than its pointers");
        const auto* tail = reinterpret_cast<const uint8_t*>(e.key.data() + e.key.size() - tailSize);
        e.row = RowId{loadBigEndian24(tail), tail[3]};
        if (!page.leaf) e.child = loadBigEndian32(tail + kRowPointerSize);
        e.key.resize(e.key.size() - tailSize);
        page.entries.push_back(std::move(e));
    }
    return page;
}

size_t encodedEntrySize(const IndexEntry& entry, bool leaf) {
    return entry.key.size() + kRowPointerSize + (leaf ? 0 : kChildPointerSize);
}

size_t indexEntryArea(const FormatLayout& layout) {
    return layout.pageSize - layout.indexFirstEntryOffset;
}

Status encodeIndexPage(const IndexPage& page, const FormatLayout& L, uint32_t owner,
                       std::vector<uint8_t>& out) {
    out.assign(L.pageSize, 0);
    out[0] = page.leaf ? PageType::IndexLeaf : PageType::IndexNode;
    out[1] = 0x01;
    store32(out.data() + kOwnerOffset, owner);
    store32(out.data() + L.indexNextPageOffset - 4, page.prev);
    store32(out.data() + L.indexNextPageOffset, page.next);
    store32(out.data() + L.indexNextPageOffset + 4, page.tail);
    size_t pos = L.indexFirstEntryOffset;
    for (const IndexEntry& e : page.entries) {
        if (pos + encodedEntrySize(e, page.leaf) > L.pageSize)
            return Status::InvalidArgument("index entries do not fit one page");
        std::copy(e.key.begin(), e.key.end(), out.begin() + static_cast<std::ptrdiff_t>(pos));
        pos += e.key.size();
        appendBigEndian32(out, pos, e.row.packed());
        pos += kRowPointerSize;
        if (!page.leaf) {
            appendBigEndian32(out, pos, e.child);
            pos += kChildPointerSize;
        }
        // A set bit marks where the next entry (or the end of the entries) begins.
        size_t bit = pos - L.indexFirstEntryOffset;
        out[L.indexBitmaskOffset + bit / 8] =
            static_cast<uint8_t>(out[L.indexBitmaskOffset + bit / 8] | (1u << (bit % 8)));
    }
    store16(out.data() + 2, static_cast<uint16_t>(L.pageSize - pos));
    return {};
}

}  // namespace jet
