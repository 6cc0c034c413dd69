#include "pager.h"

namespace jet {

Pager::Pager(File& file, uint32_t pageSize, size_t cachePages)
    : m_file(file), m_pageSize(pageSize), m_cachePages(cachePages) {}

Result<PageRef> Pager::page(uint32_t number) {
    if (auto it = m_cache.find(number); it != m_cache.end()) return it->second;
    if (number >= pageCount()) {
        return Status::Corruption("page " + std::to_string(number) + " lies beyond the end of the file (" +
                                  std::to_string(pageCount()) + " pages)");
    }
    auto bytes = std::make_shared<std::vector<uint8_t>>(m_pageSize);
    JET_RETURN_IF_ERROR(m_file.read(uint64_t{number} * m_pageSize, m_pageSize, bytes->data()));
    // A full cache is dropped whole: simple, bounded, and scans touch each page once anyway.
    if (m_cache.size() >= m_cachePages) m_cache.clear();
    m_cache.emplace(number, bytes);
    return PageRef(bytes);
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
    return {};
}

}  // namespace jet
