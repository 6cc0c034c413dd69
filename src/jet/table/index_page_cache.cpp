#include "table/index_page_cache.h"

namespace jet {
namespace {

// Beyond this many decoded pages the cache starts afresh.
constexpr size_t kDecodedIndexPages = 2048;

}  // namespace

Result<std::shared_ptr<const IndexPage>> IndexPageCache::page(uint32_t number, uint32_t owner) {
    JET_ASSIGN_OR_RETURN(PageRef bytes, m_pager.page(number));
    if (auto it = m_pages.find(number); it != m_pages.end()) {
        if (it->second.source == bytes && it->second.owner == owner) return it->second.page;
    }
    JET_ASSIGN_OR_RETURN(IndexPage decoded, decodeIndexPage(view(bytes), m_layout, number, owner));
    if (m_pages.size() >= kDecodedIndexPages) m_pages.clear();
    auto page = std::make_shared<const IndexPage>(std::move(decoded));
    m_pages[number] = Entry{std::move(bytes), owner, page};
    return page;
}

}  // namespace jet
