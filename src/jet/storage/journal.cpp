#include "storage/journal.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "core/bytes.h"

namespace jet {
namespace {

// The trailer, the file's last 64 bytes: magic, state (4), page size (4), old length (8), body start (8),
// page count (4), 4 zero bytes, the body's checksum (8), the checksum of the 48 bytes before (8), the
// magic again. The body starts on a page boundary: the page numbers (4 bytes each, padded to whole pages),
// then the pages.
constexpr char kMagic[8] = {'J', 'e', 't', 'J', 'r', 'n', 'l', '2'};
constexpr size_t kTrailerSize = 64;
constexpr size_t kStateAt = 8, kPageSizeAt = 12, kOldLengthAt = 16, kBodyAt = 24, kCountAt = 32;
constexpr size_t kBodySumAt = 40, kTrailerSumAt = 48, kEndMagicAt = 56;
constexpr uint32_t kPending = 1, kComplete = 2;

uint64_t checksum(const uint8_t* data, size_t size, uint64_t h = 0xCBF29CE484222325ull) {
    for (size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 0x100000001B3ull;
    }
    return h;
}

uint64_t roundUp(uint64_t n, uint32_t multiple) {
    return (n + multiple - 1) / multiple * multiple;
}

// Bytes of a body journaling `count` pages.
uint64_t bodySize(uint64_t count, uint32_t pageSize) {
    return roundUp(4 * count, pageSize) + count * pageSize;
}

bool validPageSize(uint32_t pageSize) {
    return pageSize == 2048 || pageSize == 4096;
}

struct Trailer {
    uint32_t state = 0;
    uint32_t pageSize = 0;
    uint64_t oldLength = 0;
    uint64_t bodyStart = 0;
    uint32_t count = 0;
    uint64_t bodySum = 0;
};

std::vector<uint8_t> encodeTrailer(const Trailer& t) {
    std::vector<uint8_t> b(kTrailerSize, 0);
    std::memcpy(b.data(), kMagic, sizeof kMagic);
    store32(b.data() + kStateAt, t.state);
    store32(b.data() + kPageSizeAt, t.pageSize);
    store64(b.data() + kOldLengthAt, t.oldLength);
    store64(b.data() + kBodyAt, t.bodyStart);
    store32(b.data() + kCountAt, t.count);
    store64(b.data() + kBodySumAt, t.bodySum);
    store64(b.data() + kTrailerSumAt, checksum(b.data(), kTrailerSumAt));
    std::memcpy(b.data() + kEndMagicAt, kMagic, sizeof kMagic);
    return b;
}

// The trailer ending a file of `fileSize` bytes, when its bytes are one and describe a journal that fits
// the file: pages of a known size, an old length and a body on page boundaries, the body ending where the
// trailer starts.
std::optional<Trailer> decodeTrailer(const uint8_t* b, uint64_t fileSize) {
    if (std::memcmp(b, kMagic, sizeof kMagic) != 0 ||
        std::memcmp(b + kEndMagicAt, kMagic, sizeof kMagic) != 0 ||
        ByteView::load64(b + kTrailerSumAt) != checksum(b, kTrailerSumAt))
        return std::nullopt;
    Trailer t;
    t.state = ByteView::load32(b + kStateAt);
    t.pageSize = ByteView::load32(b + kPageSizeAt);
    t.oldLength = ByteView::load64(b + kOldLengthAt);
    t.bodyStart = ByteView::load64(b + kBodyAt);
    t.count = ByteView::load32(b + kCountAt);
    t.bodySum = ByteView::load64(b + kBodySumAt);
    uint64_t trailerAt = fileSize - kTrailerSize;
    if ((t.state != kPending && t.state != kComplete) || !validPageSize(t.pageSize) ||
        t.oldLength % t.pageSize != 0 || t.bodyStart % t.pageSize != 0 || t.oldLength > t.bodyStart ||
        t.bodyStart > trailerAt || trailerAt - t.bodyStart != bodySize(t.count, t.pageSize))
        return std::nullopt;
    return t;
}

// The saved pages of a Complete journal, when its body checks out: page numbers below the old length,
// each once.
Result<std::optional<std::vector<std::pair<uint32_t, uint64_t>>>> savedPages(const File& file,
                                                                             const Trailer& t) {
    std::vector<uint8_t> numbers(roundUp(4 * uint64_t{t.count}, t.pageSize));
    if (!numbers.empty()) JET_RETURN_IF_ERROR(file.read(t.bodyStart, numbers.size(), numbers.data()));
    uint64_t sum = checksum(numbers.data(), numbers.size());
    std::vector<uint8_t> page(t.pageSize);
    uint64_t pagesAt = t.bodyStart + numbers.size();
    std::vector<std::pair<uint32_t, uint64_t>> saved;
    for (uint32_t i = 0; i < t.count; ++i) {
        uint64_t at = pagesAt + uint64_t{i} * t.pageSize;
        JET_RETURN_IF_ERROR(file.read(at, page.size(), page.data()));
        sum = checksum(page.data(), page.size(), sum);
        saved.emplace_back(ByteView::load32(numbers.data() + 4 * size_t{i}), at);
    }
    std::sort(saved.begin(), saved.end());
    auto repeated = std::adjacent_find(saved.begin(), saved.end(),
                                       [](const auto& a, const auto& b) { return a.first == b.first; });
    bool fits = saved.empty() || uint64_t{saved.back().first + 1} * t.pageSize <= t.oldLength;
    if (sum != t.bodySum || repeated != saved.end() || !fits)
        return std::optional<std::vector<std::pair<uint32_t, uint64_t>>>();
    return std::optional(std::move(saved));
}

Status writeTrailer(File& file, uint64_t at, const Trailer& t) {
    std::vector<uint8_t> bytes = encodeTrailer(t);
    return file.write(at, bytes.size(), bytes.data());
}

}  // namespace

Result<Journal> readJournal(const File& file) {
    Journal journal;
    uint64_t size = file.size();
    journal.oldLength = size;
    if (size < kTrailerSize) return journal;
    uint8_t bytes[kTrailerSize];
    JET_RETURN_IF_ERROR(file.read(size - kTrailerSize, kTrailerSize, bytes));
    std::optional<Trailer> t = decodeTrailer(bytes, size);
    if (!t) return journal;
    journal.pageSize = t->pageSize;
    journal.oldLength = t->oldLength;
    journal.state = JournalState::Pending;
    if (t->state != kComplete) return journal;
    JET_ASSIGN_OR_RETURN(auto saved, savedPages(file, *t));
    if (!saved) return journal;
    journal.state = JournalState::Complete;
    journal.savedPages = std::move(*saved);
    return journal;
}

Status appendAhead(File& file, uint32_t pageSize, uint64_t oldLength, uint64_t appendEnd) {
    Trailer t;
    t.state = kPending;
    t.pageSize = pageSize;
    t.oldLength = oldLength;
    t.bodyStart = appendEnd;
    return writeTrailer(file, appendEnd, t);
}

Status commitPages(File& file, const std::vector<PageWrite>& pages, uint32_t pageSize, uint64_t oldLength,
                   uint64_t newLength) {
    std::vector<uint32_t> kept;
    for (const PageWrite& w : pages) {
        if (uint64_t{w.number + 1} * pageSize <= oldLength) kept.push_back(w.number);
    }
    // The body goes past every page the commit writes and past anything a spill appended.
    Trailer t;
    t.pageSize = pageSize;
    t.oldLength = oldLength;
    t.bodyStart = std::max(newLength, roundUp(file.size(), pageSize));
    t.count = static_cast<uint32_t>(kept.size());
    uint64_t trailerAt = t.bodyStart + bodySize(t.count, pageSize);
    t.state = kPending;
    JET_RETURN_IF_ERROR(writeTrailer(file, trailerAt, t).withContext("journal"));

    std::vector<uint8_t> numbers(roundUp(4 * uint64_t{t.count}, pageSize), 0);
    for (size_t i = 0; i < kept.size(); ++i) store32(numbers.data() + 4 * i, kept[i]);
    if (!numbers.empty())
        JET_RETURN_IF_ERROR(file.write(t.bodyStart, numbers.size(), numbers.data()).withContext("journal"));
    uint64_t sum = checksum(numbers.data(), numbers.size());
    std::vector<uint8_t> page(pageSize);
    uint64_t at = t.bodyStart + numbers.size();
    for (uint32_t number : kept) {
        // The page as the file holds it now; the writer lock kept everyone else from changing it.
        JET_RETURN_IF_ERROR(file.read(uint64_t{number} * pageSize, pageSize, page.data()));
        JET_RETURN_IF_ERROR(file.write(at, pageSize, page.data()).withContext("journal"));
        sum = checksum(page.data(), page.size(), sum);
        at += pageSize;
    }
    t.state = kComplete;
    t.bodySum = sum;
    JET_RETURN_IF_ERROR(writeTrailer(file, trailerAt, t).withContext("journal"));
    JET_RETURN_IF_ERROR(file.sync());

    for (const PageWrite& w : pages)
        JET_RETURN_IF_ERROR(file.write(uint64_t{w.number} * pageSize, pageSize, w.bytes->data()));
    JET_RETURN_IF_ERROR(file.sync());
    JET_RETURN_IF_ERROR(file.truncate(newLength));
    return file.sync();
}

Status rollBack(File& file) {
    JET_ASSIGN_OR_RETURN(Journal journal, readJournal(file));
    if (journal.state == JournalState::None) return {};
    std::vector<uint8_t> page(journal.pageSize);
    for (const auto& [number, at] : journal.savedPages) {
        JET_RETURN_IF_ERROR(file.read(at, page.size(), page.data()));
        JET_RETURN_IF_ERROR(file.write(uint64_t{number} * journal.pageSize, page.size(), page.data()));
    }
    // The pages go back before the journal goes: a crash in between repeats the repair.
    if (!journal.savedPages.empty()) JET_RETURN_IF_ERROR(file.sync());
    JET_RETURN_IF_ERROR(file.truncate(journal.oldLength));
    return file.sync();
}

Status ReadView::refresh() {
    JET_ASSIGN_OR_RETURN(Journal journal, readJournal(m_file));
    m_state = journal.state;
    m_size = journal.oldLength;
    m_pageSize = journal.pageSize;
    m_saved = std::move(journal.savedPages);
    return {};
}

Status ReadView::read(uint64_t offset, size_t length, uint8_t* dst) const {
    if (offset > m_size || length > m_size - offset) {
        return Status::IOError("short read in " + m_file.name() + " at offset " + std::to_string(offset));
    }
    JET_RETURN_IF_ERROR(m_file.read(offset, length, dst));
    if (m_saved.empty()) return {};
    // Pages the cut-short commit overwrote are read as they were, from the journal.
    uint64_t end = offset + length;
    auto first = std::lower_bound(m_saved.begin(), m_saved.end(),
                                  std::make_pair(static_cast<uint32_t>(offset / m_pageSize), uint64_t{0}));
    for (auto it = first; it != m_saved.end() && uint64_t{it->first} * m_pageSize < end; ++it) {
        uint64_t pageStart = uint64_t{it->first} * m_pageSize;
        uint64_t from = std::max(offset, pageStart);
        uint64_t to = std::min(end, pageStart + m_pageSize);
        JET_RETURN_IF_ERROR(m_file.read(it->second + (from - pageStart), to - from, dst + (from - offset)));
    }
    return {};
}

}  // namespace jet
