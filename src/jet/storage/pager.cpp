#include "storage/pager.h"

#include <algorithm>

namespace jet {

namespace {
// Pages read ahead on a miss: scans walk pages in ascending order, and one larger read costs little more
// than a single page.
constexpr uint32_t kReadAheadPages = 16;
}  // namespace

Pager::Pager(File& file, uint32_t pageSize, size_t cachePages)
    : m_file(file),
      m_view(file),
      m_pageSize(pageSize),
      m_cachePages(std::max<size_t>(cachePages, kReadAheadPages)),
      m_pageCount(static_cast<uint32_t>(m_view.size() / pageSize)) {}

Result<PageRef> Pager::page(uint32_t number) {
    if (auto it = m_cache.find(number); it != m_cache.end()) return it->second;
    if (number >= m_pageCount) {
        return Status::Corruption("page " + std::to_string(number) + " lies beyond the end of the file (" +
                                  std::to_string(m_pageCount) + " pages)");
    }
    uint32_t count = 1;
    while (count < kReadAheadPages && number + count < m_pageCount && !m_cache.count(number + count)) ++count;
    m_readBuffer.resize(size_t{count} * m_pageSize);
    JET_RETURN_IF_ERROR(m_view.read(uint64_t{number} * m_pageSize, m_readBuffer.size(), m_readBuffer.data()));
    PageRef wanted;
    for (uint32_t i = 0; i < count; ++i) {
        auto first = m_readBuffer.begin() + static_cast<std::ptrdiff_t>(size_t{i} * m_pageSize);
        auto bytes = std::make_shared<const Page>(first, first + m_pageSize);
        if (i == 0) wanted = bytes;
        remember(number + i, std::move(bytes));
    }
    return wanted;
}

void Pager::remember(uint32_t number, PageRef page) {
    // A full cache is dropped whole: simple, bounded, and scans touch each page once anyway.
    if (m_cache.size() >= m_cachePages && !m_cache.count(number)) m_cache.clear();
    m_cache[number] = std::move(page);
}

Status Pager::reload() {
    m_cache.clear();
    Status s = m_view.refresh();
    m_pageCount = static_cast<uint32_t>(m_view.size() / m_pageSize);
    return s;
}

Status Pager::adopt(std::map<uint32_t, Page>& committed, uint32_t pageCount) {
    for (auto& [number, bytes] : committed) remember(number, std::make_shared<const Page>(std::move(bytes)));
    committed.clear();
    m_pageCount = pageCount;
    // The commit left no journal: the file is the database again, with its new length.
    return m_view.refresh();
}

namespace {
// The newest pages stay in memory when the others go to the file: they are the ones still being filled.
constexpr uint32_t kKeptWhenSpilling = 256;
}  // namespace

PageTransaction::PageTransaction(Pager& pager)
    : m_pager(pager),
      m_fileSize(uint64_t{pager.pageCount()} * pager.pageSize()),
      m_filePages(pager.pageCount()),
      m_pageCount(m_filePages) {}

PageTransaction::~PageTransaction() {
    // New pages that went to the file ahead of a commit that never came are cut off again; should that
    // fail, the old length recorded behind them tells the next writer to do it.
    if (!m_appendedAhead || m_committed) return;
    File& file = m_pager.file();
    if (file.truncate(m_fileSize).ok()) (void)file.sync();
}

Result<const Page*> PageTransaction::read(uint32_t number) {
    if (auto it = m_changed.find(number); it != m_changed.end()) return &it->second;
    if (auto it = m_pinned.find(number); it != m_pinned.end()) return it->second.get();
    if (m_appended.count(number) != 0) return readAppended(number);
    if (number >= m_filePages)
        return Status::Corruption("page " + std::to_string(number) + " beyond the file");
    JET_ASSIGN_OR_RETURN(PageRef page, m_pager.page(number));
    return m_pinned.emplace(number, std::move(page)).first->second.get();
}

// A new page this write already put in the file: the pager does not know it yet.
Result<const Page*> PageTransaction::readAppended(uint32_t number) {
    Page bytes(m_pager.pageSize());
    JET_RETURN_IF_ERROR(
        m_pager.file().read(uint64_t{number} * m_pager.pageSize(), bytes.size(), bytes.data()));
    return m_pinned.emplace(number, std::make_shared<const Page>(std::move(bytes))).first->second.get();
}

Result<Page*> PageTransaction::edit(uint32_t number) {
    if (auto it = m_changed.find(number); it != m_changed.end()) return &it->second;
    JET_ASSIGN_OR_RETURN(const Page* page, read(number));
    Page copy = *page;
    m_pinned.erase(number);
    if (m_appended.erase(number) != 0) ++m_newInMemory;
    return &m_changed.emplace(number, std::move(copy)).first->second;
}

uint32_t PageTransaction::allocate() {
    uint32_t number = m_pageCount++;
    m_changed[number] = Page(m_pager.pageSize(), 0);
    ++m_newInMemory;
    return number;
}

Status PageTransaction::spillIfFull() {
    if (m_newInMemory <= m_spillLimit) return {};
    return spill();
}

// Appends the new pages held in memory, but the newest, to the file; nothing the file's readers follow
// points at them until the commit.
Status PageTransaction::spill() {
    File& file = m_pager.file();
    uint32_t kept = static_cast<uint32_t>(std::min<size_t>(kKeptWhenSpilling, m_spillLimit / 2));
    uint32_t keepFrom = m_pageCount > kept ? m_pageCount - kept : 0;
    // The old length goes behind every page sent, before any is: the file's end always says how long the
    // database is.
    JET_RETURN_IF_ERROR(
        appendAhead(file, m_pager.pageSize(), m_fileSize, uint64_t{keepFrom} * m_pager.pageSize()));
    m_appendedAhead = true;
    for (auto it = m_changed.lower_bound(m_filePages); it != m_changed.end() && it->first < keepFrom;) {
        JET_RETURN_IF_ERROR(
            file.write(uint64_t{it->first} * m_pager.pageSize(), it->second.size(), it->second.data()));
        m_appended.insert(it->first);
        --m_newInMemory;
        it = m_changed.erase(it);
    }
    return {};
}

std::vector<uint32_t> PageTransaction::changedPages() const {
    std::vector<uint32_t> numbers;
    numbers.reserve(m_changed.size() + m_appended.size());
    for (const auto& entry : m_changed) numbers.push_back(entry.first);
    numbers.insert(numbers.end(), m_appended.begin(), m_appended.end());
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

Status PageTransaction::commit() {
    File& file = m_pager.file();
    if (file.readOnly()) return Status::InvalidArgument(file.name() + " is open read-only");
    std::vector<PageWrite> writes;
    writes.reserve(m_changed.size());
    for (const auto& [number, bytes] : m_changed) writes.push_back({number, &bytes});
    Status s =
        commitPages(file, writes, m_pager.pageSize(), m_fileSize, uint64_t{m_pageCount} * m_pager.pageSize());
    if (!s.ok()) {
        // Undo at once what reached the file; should that fail too, the journal stays for the next writer.
        (void)rollBack(file);
        m_appendedAhead = false;
        (void)m_pager.reload();
        return s;
    }
    m_committed = true;
    Status adopted = m_pager.adopt(m_changed, m_pageCount);
    m_fileSize = uint64_t{m_pageCount} * m_pager.pageSize();
    m_filePages = m_pageCount;
    m_pinned.clear();
    m_appended.clear();
    m_newInMemory = 0;
    m_appendedAhead = false;
    return adopted;
}

}  // namespace jet
