// Cursors: walk a table's rows and decode only the columns asked for.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "jet/status.h"
#include "jet/table.h"
#include "jet/value.h"

namespace jet {

class Engine;
struct RowImage;

/// The current row of a cursor: its location and lazily decoded values.
class RowReader {
public:
    RowReader();
    ~RowReader();
    RowReader(RowReader&&) noexcept;
    RowReader& operator=(RowReader&&) noexcept;

    /// Where the row lives (the slot that points at it, for overflow rows).
    RowId rowId() const;
    /// Decodes the value of column `column` (its position in TableDef::columns).
    Result<Value> value(size_t column) const;
    /// The same into `into`, reusing the storage of a text it already holds: for callers that read
    /// column after column of many rows into the same values (an export).
    Status readValue(size_t column, Value& into) const;
    /// Decodes every column.
    Result<std::vector<Value>> values() const;
    /// Decodes every column into `out`, one value per column in column order (`out` must hold as many):
    /// for callers that read many rows into storage they keep.
    Status readValues(std::span<Value> out) const;

protected:
    friend class Engine;
    Engine* m_engine = nullptr;
    std::shared_ptr<const TableDef> m_table;
    std::unique_ptr<RowImage> m_image;
};

/// Walks every live row of a table in physical order (page by page, slot by slot). A cursor walked under
/// one lock sees one state of the file; walked across several (an export in batches), it goes on over the
/// table's pages as each later lock finds them, returning each row at most once.
class RowCursor : public RowReader {
public:
    RowCursor(RowCursor&&) noexcept;
    RowCursor& operator=(RowCursor&&) noexcept;
    ~RowCursor();

    /// Moves to the next row; false when there are no more. Corruption when a walk over one state of the
    /// file ends with less than half the rows the table's definition counts: its list of pages is damaged.
    Result<bool> next();
    /// The table being walked.
    const TableDef& table() const { return *m_table; }

private:
    friend class Engine;
    RowCursor(Engine& engine, std::shared_ptr<const TableDef> table, std::vector<uint32_t> pages);
    // Lists the table's pages again when its rows may have changed since the cursor last looked.
    Status catchUp();
    // The end of a walk: its rows against the count the definition holds.
    Status checkRowCount() const;

    std::vector<uint32_t> m_pages;
    size_t m_pageIndex = 0;
    int m_slot = -1;
    int m_slotCount = 0;
    uint64_t m_changes = 0;  // the table's change count when the pages were listed
    uint64_t m_rowsSeen = 0;
    bool m_oneState = true;  // no change since the walk began
};

/// One bound of an index range: key values for a prefix of the index columns.
struct IndexBound {
    std::vector<Value> values;
    bool inclusive = true;
};

/// Walks the rows of a table in index order, optionally within a key range.
class IndexCursor : public RowReader {
public:
    IndexCursor(IndexCursor&&) noexcept;
    IndexCursor& operator=(IndexCursor&&) noexcept;
    ~IndexCursor();

    /// Positions before the first entry whose key equals `values` (a prefix of the index columns);
    /// next() then yields the matching rows only.
    Status seekEqual(const std::vector<Value>& values);
    /// Limits the walk to keys between `lower` and `upper` (either may be absent: empty values).
    Status seekRange(const IndexBound& lower, const IndexBound& upper);
    /// Limits the walk to rows whose first index column (ascending text) may begin with `prefix`: every
    /// row whose text begins with it, letter case aside, and possibly others that the caller's own
    /// comparison must turn away (accents and ignored characters do not separate keys). NotSupported,
    /// with the cursor unchanged, when the index cannot be sought that way.
    Status seekTextPrefix(std::string_view prefix);
    /// Moves to the next row in key order; false when there are no more.
    Result<bool> next();
    /// True when seeks descend the B-tree; false when they fall back to a scan of the leaves
    /// (an index whose keys this engine cannot encode).
    bool seekable() const;

private:
    friend class Engine;
    struct State;
    IndexCursor(Engine& engine, std::shared_ptr<const TableDef> table, std::unique_ptr<State> state);
    // Sets the bounds of the walk (either list may be empty: no bound) and restarts it.
    Status setBounds(const std::vector<Value>& lower, bool lowerInclusive, const std::vector<Value>& upper,
                     bool upperInclusive);
    std::unique_ptr<State> m_state;
};

}  // namespace jet
