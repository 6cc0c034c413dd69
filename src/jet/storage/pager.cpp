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
      m_pageSize(pageSize),
      m_cachePages(std::max<size_t>(cachePages, kReadAheadPages)),
      m_pageCount(static_cast<uint32_t>(file.size() / pageSize)) {}

Result<PageRef> Pager::page(uint32_t number) {
    if (auto it = m_cache.find(number); it != m_cache.end()) return it->second;
    if (number >= m_pageCount) {
        return Status::Corruption("page " + std::to_string(number) + " lies beyond the end of the file (" +
                                  std::to_string(m_pageCount) + " pages)");
    }
    uint32_t count = 1;
    while (count < kReadAheadPages && number + count < m_pageCount && !m_cache.count(number + count)) ++count;
    m_readBuffer.resize(size_t{count} * m_pageSize);
    JET_RETURN_IF_ERROR(m_file.read(uint64_t{number} * m_pageSize, m_readBuffer.size(), m_readBuffer.data()));
    // A full cache is dropped whole: simple, bounded, and scans touch each page once anyway.
    if (m_cache.size() + count > m_cachePages) m_cache.clear();
    PageRef wanted;
    for (uint32_t i = 0; i < count; ++i) {
        auto first = m_readBuffer.begin() + static_cast<std::ptrdiff_t>(size_t{i} * m_pageSize);
        auto bytes = std::make_shared<const std::vector<uint8_t>>(first, first + m_pageSize);
        if (i == 0) wanted = bytes;
        m_cache.emplace(number + i, std::move(bytes));
    }
    return wanted;
}

Status Pager::writePage(uint32_t number, std::vector<uint8_t> bytes) {
    if (bytes.size() != m_pageSize) return Status::InvalidArgument("page write of the wrong size");
    Status s = m_file.write(uint64_t{number} * m_pageSize, bytes.size(), bytes.data());
    if (!s.ok()) {
        m_cache.erase(number);
        return s;
    }
    if (m_cache.size() >= m_cachePages) m_cache.clear();
    m_cache[number] = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    m_pageCount = std::max(m_pageCount, number + 1);
    return {};
}

}  // namespace jet
