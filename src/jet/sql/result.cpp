// Result rows stored in blocks of values, listed in their order.
#include <algorithm>

#include "jet/sql.h"

namespace jet::sql {

namespace {
// Blocks small enough to come from the allocator's pools rather than fresh pages of their own.
constexpr size_t kBlockBytes = 32 * 1024;
}  // namespace

void ResultRows::reset(size_t width) {
    if (width != m_width) {
        m_blocks.clear();
        m_width = width;
        m_rowsPerBlock = std::max<size_t>(1, kBlockBytes / (sizeof(Value) * std::max<size_t>(width, 1)));
    }
    m_order.clear();
    m_count = 0;
}

std::span<Value> ResultRows::append() {
    const size_t place = m_count;
    if (place / m_rowsPerBlock >= m_blocks.size())
        m_blocks.push_back(std::make_unique<Value[]>(m_rowsPerBlock * m_width));
    if (!m_order.empty()) m_order.push_back(static_cast<uint32_t>(place));
    ++m_count;
    return {stored(place), m_width};
}

void ResultRows::prefetch(size_t row) const {
    if (row >= m_count) return;
    const char* first = reinterpret_cast<const char*>(stored(placeOf(row)));
    const char* end = first + m_width * sizeof(Value);
    constexpr size_t kCacheLine = 64;
    for (const char* line = first; line < end; line += kCacheLine) __builtin_prefetch(line);
}

void ResultRows::prefetchTexts(size_t row) const {
    if (row >= m_count) return;
    for (const Value& v : (*this)[row]) {
        if (const auto* text = std::get_if<std::string>(&v)) __builtin_prefetch(text->data());
    }
}

void ResultRows::dropLast() {
    if (m_count == 0) return;
    --m_count;
    if (!m_order.empty()) m_order.pop_back();
}

void ResultRows::reorder(const std::vector<uint32_t>& order) {
    std::vector<uint32_t> places(order.size());
    for (size_t i = 0; i < order.size(); ++i) places[i] = static_cast<uint32_t>(placeOf(order[i]));
    m_order = std::move(places);
}

}  // namespace jet::sql
