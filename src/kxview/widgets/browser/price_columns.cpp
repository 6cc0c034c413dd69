// Price columns: adding one per price file, filling it for the listed rows, removing them all.
#include "widgets/browser/price_columns.h"

#include "core/data/modpub_db.h"
#include "core/data/numbers.h"
#include "core/io/filesystem.h"
#include "core/services/messages.h"
#include "widgets/browser/item_rows.h"
#include "widgets/controls/outlinegrid.h"

namespace kx {
namespace {

constexpr int kPriceColWidth = 1000;

/// True when a row whose ID is `id` gets a price lookup: not for kinds without prices, nor for rows without
/// an ID where the kind needs one.
bool looksUp(const PriceSource& source, qint32 id) {
    return source.table != nullptr && !(source.needsId && id <= 0);
}

}  // namespace

void PriceColumns::AddPriceColumn(const QString& p_File, const PriceSource& source) {
    if (!fs::isFile(p_File)) return;
    GridModel& g = m_grid.cells();
    for (int c = FirstPriceCol; c < g.Cols(); ++c) {
        if (g.ColKey(c) == p_File) {
            showWarning(QStringLiteral("价格已经存在！"), QStringLiteral("提示"), m_parent);
            return;
        }
    }
    const int col = g.Cols();
    g.setCols(col + 1);
    g.setColWidth(col, kPriceColWidth);
    g.setColKey(col, p_File);
    g.setColAlignment(col, Qt::AlignRight);
    auto db = modPub_DB::OpenDB(p_File);
    g.setTextMatrix(0, col, modPub_DB::GetKeyInfo(*db, QStringLiteral("ShortName")));
    FillPriceColumn(col, source);
    db->Close();
}

void PriceColumns::FillPriceColumn(int p_Col, const PriceSource& source) {
    fill(p_Col, source, rowIds());
}

void PriceColumns::fillEvery(const PriceSource& source) {
    if (m_grid.cells().Cols() <= FirstPriceCol) return;
    const RowIds ids = rowIds();
    for (int c = FirstPriceCol; c < m_grid.cells().Cols(); ++c) fill(c, source, ids);
}

PriceColumns::RowIds PriceColumns::rowIds() const {
    const GridModel& g = m_grid.cells();
    const ItemRows rows(g);
    RowIds ids;
    ids.ids.reserve(static_cast<size_t>(g.Rows()));
    try {
        for (int row = GridModel::FixedRows; row < g.Rows(); ++row) ids.ids.push_back(rows.rowId(row));
    } catch (...) {
        ids.failure = std::current_exception();
    }
    return ids;
}

void PriceColumns::fill(int p_Col, const PriceSource& source, const RowIds& rowIds) {
    const std::vector<qint32>& ids = rowIds.ids;
    GridModel& g = m_grid.cells();
    auto db = modPub_DB::OpenDB(g.ColKey(p_Col));
    {
        const HeldReads oneState(*db);
        const GridModel::CellChanges oneSignal(g);
        std::optional<TableLookups::Fill> prices;
        const QString valueField = QLatin1String(source.valueField);
        for (size_t i = 0; i < ids.size(); ++i) {
            if (!looksUp(source, ids[i])) continue;
            if (!prices)
                prices.emplace(
                    m_lookups.begin(*db, QLatin1String(source.table), QLatin1String(source.idField)));
            if (std::optional<jet::Value> price = prices->firstValue(ids[i], valueField))
                g.setTextMatrix(GridModel::FixedRows + static_cast<int>(i), p_Col,
                                twoDecimalsOfStored(*price));
        }
    }
    db->Close();
    if (rowIds.failure) std::rethrow_exception(rowIds.failure);
}

void PriceColumns::ClearPrice() {
    m_grid.cells().setCols(FirstPriceCol);
}

}  // namespace kx
