// Price columns: adding one per price file, filling it for the listed rows, removing them all.
#include "core/data/modpub_db.h"
#include "core/data/numbers.h"
#include "core/io/filesystem.h"
#include "core/services/messages.h"
#include "widgets/browser/price_columns_p.h"
#include "widgets/controls/outlinegrid.h"

namespace kx {
namespace {

constexpr int kPriceColWidth = 1000;

/// The price lookup of one row: the statement and the field that holds the price.
struct PriceLookup {
    QString sql;
    QString field;
};

/// The lookup for a row whose ID is `id` in a library of kind `kind`; no statement when the row gets none.
PriceLookup priceLookup(LibraryKind kind, qint32 id) {
    switch (kind) {
        case LibraryKind::DE:
            if (id <= 0) return {};  // conversion rows and rows without an ID
            return {QStringLiteral("SELECT * FROM DMPrice WHERE DMID=") + QString::number(id),
                    QStringLiteral("CorePrice")};
        case LibraryKind::Mate:
            return {QStringLiteral("SELECT * FROM Price WHERE MateID=") + QString::number(id),
                    QStringLiteral("Price")};
        case LibraryKind::DataBook:
        case LibraryKind::None:
            break;
    }
    return {};
}

}  // namespace

void PriceColumns::AddPriceColumn(const QString& p_File, LibraryKind kind) {
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
    FillPriceColumn(col, kind);
    db->Close();
}

void PriceColumns::FillPriceColumn(int p_Col, LibraryKind kind) {
    GridModel& g = m_grid.cells();
    auto db = modPub_DB::OpenDB(g.ColKey(p_Col));
    {
        const HeldReads oneState(*db);
        for (int row = GridModel::FixedRows; row < g.Rows(); ++row) {
            const PriceLookup lookup = priceLookup(kind, gridRowId(g, row));
            if (lookup.sql.isEmpty()) continue;
            auto rs = db->OpenRecordset(lookup.sql, dbOpenDynaset);
            if (rs->RecordCount() > 0)
                g.setTextMatrix(row, p_Col, formatTwoDecimals(leadingNumber(rs->Text(lookup.field))));
        }
    }
    db->Close();
}

void PriceColumns::fillEvery(LibraryKind kind) {
    for (int c = FirstPriceCol; c < m_grid.cells().Cols(); ++c) FillPriceColumn(c, kind);
}

void PriceColumns::ClearPrice() {
    m_grid.cells().setCols(FirstPriceCol);
}

}  // namespace kx
