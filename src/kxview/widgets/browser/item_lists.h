// The item grid's columns and listings.
#pragma once

#include <QString>
#include <vector>

#include "core/data/table_lookups.h"

namespace kx {

class Database;
class OutlineGrid;
class PriceColumns;
class Recordset;
struct BrowserState;

/// Writes the items of a library into the grid: its columns by kind, the items of a category, or those a
/// search found, each listing followed by the prices of every price column.
class ItemLists {
public:
    /// Lists into `grid`, reading and keeping the browser's `state`, filling `prices`.
    ItemLists(BrowserState& state, OutlineGrid& grid, PriceColumns& prices)
        : m_state(state), m_grid(grid), m_prices(prices) {}

    /// Resets the grid to the item columns of the library kind (every price column goes). Throws
    /// kx::ControlError when a quota library's header picture cannot be read.
    void InitGrid();
    /// Lists the materials of category `p_Class` and keeps the library's key as MateKey.
    void LoadMateByClass(const QString& p_dbFullName, const QString& p_Class);
    /// Lists the bill items of category `p_Class`.
    void LoadDataBookByClass(const QString& p_dbFullName, const QString& p_Class);
    /// Lists the quota items of category `p_Class`, marking corrected ones; the listing and its errata
    /// lookups read one state of the library.
    void LoadDEByClass(const QString& p_dbFullName, const QString& p_Class);
    /// Writes the rows of `rs` (materials) into the grid, then the prices.
    void FillMateGrid(Recordset& rs);
    /// Writes the rows of `rs` (bill items) into the grid as outline nodes.
    void FillDataBookGrid(Recordset& rs);
    /// Writes the rows of `rs` (quota items of `db`) into the grid as outline nodes, marking the ones
    /// with errata, then the prices.
    void FillDEGrid(Recordset& rs, Database& db);
    /// Lists the items of the whole library whose field `rangeKind` (0 code, 1 name, 2 unit) contains
    /// (`findKind` 1) or equals (0) `text`, inserted into the statement as it stands. Throws kx::DbError
    /// when the engine refuses the statement.
    void listFound(qint32 rangeKind, qint32 findKind, const QString& text);
    /// Lists the items of the open library whose IDs are `ids`, as a search's result (in table order).
    void listIds(const std::vector<qint32>& ids);
    /// Lists what listFound lists together with the items `more` names by ID: the items of a search
    /// extended by pinyin. Throws as listFound.
    void listFoundWith(qint32 rangeKind, qint32 findKind, const QString& text,
                       const std::vector<qint32>& more);
    /// The libraries' errata tables read whole for the listings (see TableLookups).
    TableLookups& errataLookups() { return m_errata; }

private:
    /// Lists the rows the search statement `sql` selects, with the fill of the library's kind.
    void listWhere(const QString& sql);
    /// Adds a row at the bottom of the grid for the next listed item and returns its index; a list holds
    /// at most 32,767 items (std::overflow_error beyond).
    int appendItemRow();

    BrowserState& m_state;
    OutlineGrid& m_grid;
    PriceColumns& m_prices;
    TableLookups m_errata;
};

}  // namespace kx
