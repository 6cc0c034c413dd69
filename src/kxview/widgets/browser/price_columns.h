// The price columns of the item grid: one column per price file, right of the item columns, holding the
// material prices or the quota unit prices that file gives the listed items.
#pragma once

#include <QString>
#include <exception>
#include <vector>

#include "core/data/table_lookups.h"

class QWidget;

namespace kx {

class OutlineGrid;

/// Where a price file holds the price of a listed item: "SELECT * FROM <table> WHERE <idField>=" + the
/// row's ID, the price in <valueField>. A null table: the library kind has no prices.
struct PriceSource {
    const char* table = nullptr;
    const char* idField = nullptr;
    const char* valueField = nullptr;
    /// Rows whose ID is 0 or empty (conversion rows) get no lookup.
    bool needsId = false;
};

/// The price columns (grid columns 10 and up) of a browser's grid. Each column's key is the full name of
/// its price file and its header the file's "ShortName". Every price file is opened for one operation.
class PriceColumns {
public:
    /// The first grid column that holds prices.
    static constexpr int FirstPriceCol = 10;

    /// The price columns of `grid`; message boxes appear over `parent`.
    PriceColumns(OutlineGrid& grid, QWidget* parent) : m_grid(grid), m_parent(parent) {}

    /// Appends a column for the price file `p_File` and fills it from `source`. A file that does not exist
    /// is skipped silently; one already shown gives the message "价格已经存在！". Throws kx::DbError when
    /// the file is no price file; the column then stays.
    void AddPriceColumn(const QString& p_File, const PriceSource& source);
    /// Writes into price column `p_Col` the price its file holds for each row's ID ("0.00"); rows the
    /// file has no price for keep their cell, and so does every row when `source` has no table.
    void FillPriceColumn(int p_Col, const PriceSource& source);
    /// FillPriceColumn for every price column, left to right.
    void fillEvery(const PriceSource& source);
    /// Removes every price column.
    void ClearPrice();
    /// The price files' tables read whole for the fills (see TableLookups).
    TableLookups& lookups() { return m_lookups; }

private:
    // The ID of every listed row, read once for all the columns a fill writes: the rows up to the first
    // whose ID cannot be read, and the error of that one, which a fill raises once it has filled the rows
    // before it.
    struct RowIds {
        std::vector<qint32> ids;
        std::exception_ptr failure;
    };
    RowIds rowIds() const;
    // FillPriceColumn with the rows' IDs at hand.
    void fill(int p_Col, const PriceSource& source, const RowIds& rowIds);

    OutlineGrid& m_grid;
    QWidget* m_parent;
    TableLookups m_lookups;
};

}  // namespace kx
