// Result rows stored flat: one array of values, row after row.
#include "jet/sql.h"

namespace jet::sql {

void ResultRows::reset(size_t width) {
    m_values.clear();
    m_width = width;
    m_count = 0;
}

std::span<Value> ResultRows::append() {
    m_values.resize(m_values.size() + m_width);
    ++m_count;
    return {m_values.data() + (m_count - 1) * m_width, m_width};
}

void ResultRows::reorder(const std::vector<uint32_t>& order) {
    std::vector<Value> sorted;
    sorted.reserve(m_values.size());
    for (uint32_t row : order) {
        auto from = m_values.begin() + static_cast<std::ptrdiff_t>(row * m_width);
        sorted.insert(sorted.end(), std::make_move_iterator(from),
                      std::make_move_iterator(from + static_cast<std::ptrdiff_t>(m_width)));
    }
    m_values = std::move(sorted);
}

}  // namespace jet::sql
