// Row cursors: physical scans and the shared lazy row reader.
#include <algorithm>
#include <cstdint>

#include "codec/data_page.h"
#include "table/engine.h"

namespace jet {

RowReader::RowReader() = default;
RowReader::~RowReader() = default;
RowReader::RowReader(RowReader&&) noexcept = default;
RowReader& RowReader::operator=(RowReader&&) noexcept = default;

RowId RowReader::rowId() const {
    return m_image ? m_image->id : RowId{};
}

Result<Value> RowReader::value(size_t column) const {
    Value v;
    JET_RETURN_IF_ERROR(readValue(column, v));
    return v;
}

Status RowReader::readValue(size_t column, Value& into) const {
    if (!m_image || !m_image->page) return Status::InvalidArgument("the cursor is not on a row");
    if (column >= m_table->columns.size()) {
        return Status::InvalidArgument("column " + std::to_string(column) + " out of range");
    }
    return m_engine->values().decodeColumn(m_table->columns[column], *m_image, into);
}

Result<std::vector<Value>> RowReader::values() const {
    std::vector<Value> out(m_table ? m_table->columns.size() : 0);
    JET_RETURN_IF_ERROR(readValues(out));
    return out;
}

Status RowReader::readValues(std::span<Value> out) const {
    if (!m_image || !m_image->page) return Status::InvalidArgument("the cursor is not on a row");
    if (out.size() != m_table->columns.size())
        return Status::InvalidArgument("room for " + std::to_string(out.size()) + " values, the row has " +
                                       std::to_string(m_table->columns.size()));
    const RowDecoder& decoder = m_engine->values();
    for (size_t i = 0; i < out.size(); ++i)
        JET_RETURN_IF_ERROR(decoder.decodeColumn(m_table->columns[i], *m_image, out[i]));
    return {};
}

RowCursor::RowCursor(Engine& engine, std::shared_ptr<const TableDef> table, std::vector<uint32_t> pages)
    : m_pages(std::move(pages)), m_changes(engine.changeCount(table->name)) {
    m_engine = &engine;
    m_table = std::move(table);
    m_image = std::make_unique<RowImage>();
}
RowCursor::RowCursor(RowCursor&&) noexcept = default;
RowCursor& RowCursor::operator=(RowCursor&&) noexcept = default;
RowCursor::~RowCursor() = default;

Result<bool> RowCursor::next() {
    while (m_pageIndex < m_pages.size()) {
        if (m_slot < 0) {
            JET_RETURN_IF_ERROR(catchUp());
            if (m_pageIndex >= m_pages.size()) break;
            uint32_t pageNumber = m_pages[m_pageIndex];
            JET_ASSIGN_OR_RETURN(PageRef page, m_engine->pager().page(pageNumber));
            JET_ASSIGN_OR_RETURN(m_slotCount,
                                 m_engine->rows().dataPageSlots(page, pageNumber, m_table->definitionPage));
        }
        ++m_slot;
        if (m_slot >= m_slotCount) {
            ++m_pageIndex;
            m_slot = -1;
            continue;
        }
        JET_ASSIGN_OR_RETURN(bool live,
                             m_engine->rows().rowAt(m_pages[m_pageIndex], m_slot, false, *m_image));
        if (!live) continue;
        JET_RETURN_IF_ERROR(m_engine->values().parseRow(*m_table, *m_image));
        ++m_rowsSeen;
        return true;
    }
    m_image->page.reset();
    JET_RETURN_IF_ERROR(checkRowCount());
    return false;
}

Status RowCursor::catchUp() {
    uint64_t now = m_engine->changeCount(m_table->name);
    if (now == m_changes) return {};
    m_changes = now;
    m_oneState = false;
    JET_ASSIGN_OR_RETURN(std::shared_ptr<const TableDef> table, m_engine->catalogue().table(m_table->name));
    JET_ASSIGN_OR_RETURN(std::vector<uint32_t> pages, m_engine->rows().dataPages(*table));
    // Pages are listed in ascending order, so the walk goes on from the first page it has not finished.
    uint32_t reached = m_pageIndex < m_pages.size() ? m_pages[m_pageIndex] : UINT32_MAX;
    m_pageIndex = static_cast<size_t>(std::lower_bound(pages.begin(), pages.end(), reached) - pages.begin());
    m_pages = std::move(pages);
    m_table = std::move(table);
    return {};
}

Status RowCursor::checkRowCount() const {
    // Real files' counts may trail their rows a little; a scan that finds far fewer has lost pages.
    if (!m_oneState || m_rowsSeen * 2 >= m_table->rowCount) return {};
    RowId map = RowId::fromPacked(m_table->usedPagesRef);
    return Status::Corruption("table " + m_table->name + ": a full scan found " + std::to_string(m_rowsSeen) +
                              " rows where its definition (page " + std::to_string(m_table->definitionPage) +
                              ") counts " + std::to_string(m_table->rowCount) +
                              ": the list of its pages (usage map at page " + std::to_string(map.page) +
                              " row " + std::to_string(map.row) + ") is damaged");
}

Result<RowCursor> Engine::scan(std::shared_ptr<const TableDef> table) {
    JET_ASSIGN_OR_RETURN(std::vector<uint32_t> pages, m_rows->dataPages(*table));
    return RowCursor(*this, std::move(table), std::move(pages));
}

Result<bool> Engine::loadRow(RowReader& reader, const std::shared_ptr<const TableDef>& table, RowId id) {
    reader.m_engine = this;
    if (reader.m_table != table) reader.m_table = table;
    if (!reader.m_image) reader.m_image = std::make_unique<RowImage>();
    JET_ASSIGN_OR_RETURN(bool live, m_rows->rowAt(id.page, id.row, false, *reader.m_image));
    // rowAt checked that the page is a data page; it must also be one of this table's.
    JET_ASSIGN_OR_RETURN(PageRef page, m_pager->page(id.page));
    JET_ASSIGN_OR_RETURN(DataPage data, DataPage::open(view(page), *m_layout, id.page));
    if (data.owner() != table->definitionPage) {
        return Status::Corruption("page " + std::to_string(id.page) + " is not a data page of table " +
                                  table->name);
    }
    if (!live) {
        reader.m_image->page.reset();
        return false;
    }
    JET_RETURN_IF_ERROR(m_values->parseRow(*table, *reader.m_image));
    return true;
}

}  // namespace jet
