// The related quotas of a bill item: the rows of its "WithDE_" table inserted below it, headings in bold
// and quota rows completed from the installed quota library their key names.
#include "widgets/browser/related_quotas.h"

#include <QColor>

#include "core/data/modpub_db.h"
#include "core/data/numbers.h"
#include "core/io/filesystem.h"
#include "widgets/browser/browser_state.h"
#include "widgets/browser/item_rows.h"
#include "widgets/controls/outlinegrid.h"

namespace kx {
namespace {

const QColor kRelatedBack(240, 240, 240);
const QString kBillItem = QStringLiteral("DataBook");

}  // namespace

std::unique_ptr<Database> RelatedQuotas::openQuotaLibrary(const QString& key) const {
    const QString folder = m_state.AppPath + QStringLiteral("造价资料\\定额库\\");
    const QString file = modPub_DB::FindLibraryByWithCode(folder, QStringLiteral(".QTDE"), key);
    if (file.isEmpty()) {
        // Opening the empty name would fail as well, but without saying which library is missing.
        throw notFoundError(QStringLiteral("no installed quota library has the key '") + key +
                            QStringLiteral("' (searched ") + fs::withSlashes(folder) + QLatin1Char(')'));
    }
    return modPub_DB::OpenDB(file);
}

void RelatedQuotas::LoadWithDE() {
    GridModel& g = m_grid.cells();
    const ItemRows rows(g);
    const int r0 = m_grid.Row();
    if (rows.cell(r0, HCol_F::RowKind) != kBillItem) return;
    // A bill item followed by a row of another kind shows its related quotas already.
    if (r0 < g.Rows() - 1 && rows.cell(r0 + 1, HCol_F::RowKind) != kBillItem) return;
    auto db = modPub_DB::OpenDB(m_state.DBFullName);
    const qint32 id = rows.rowId(r0);
    const QString table = QStringLiteral("WithDE_") + rows.cell(r0, HCol_F::Code).left(2);
    if (!modPub_DB::TableExists(*db, table)) return;
    auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE QDID=") +
                                    QString::number(id) + QStringLiteral(" Order By Code"),
                                dbOpenDynaset);
    int r = r0;
    for (; !rs->isEOF(); rs->MoveNext()) {
        ++r;
        g.AddItem(QString(), r);
        writeRelatedRow(r, *rs);
    }
    // Collapsed even without children: moving through a bill list only prepares the quotas.
    g.setIsCollapsed(r0, OutlineCollapsed);
    db->Close();
}

void RelatedQuotas::writeRelatedRow(int row, Recordset& rs) {
    GridModel& g = m_grid.cells();
    const int lastCol = g.Cols() - 1;
    const QString name = rs.Text(QStringLiteral("Name"));
    const QString rowKind = rs.Text(QStringLiteral("Kind"));
    const QString dmid = rs.Text(QStringLiteral("DMID"));
    const QString deKey = rs.Text(QStringLiteral("DEKey"));
    g.setCellBackColor(row, GridModel::FixedCols, lastCol, kRelatedBack);
    g.setIsSubtotal(row, true);
    g.setRowOutlineLevel(row, roundToInt32(leadingNumber(rs.Text(QStringLiteral("Level")))) + 1);
    g.setMergeRow(row, true);
    g.setTextMatrix(row, colOf(HCol_F::Code), name);
    g.setTextMatrix(row, colOf(HCol_F::Name), name);
    g.setTextMatrix(row, colOf(HCol_F::RowKind), rowKind);
    g.setTextMatrix(row, colOf(HCol_F::ID), dmid);
    g.setTextMatrix(row, colOf(HCol_F::DEKey), deKey);
    if (rowKind == QLatin1String("DE")) {
        completeRelatedQuota(row, name, dmid, deKey);
    } else {
        g.setCellFontBold(row, GridModel::FixedCols, lastCol, true);
    }
}

void RelatedQuotas::completeRelatedQuota(int row, const QString& ownName, const QString& dmid,
                                         const QString& deKey) {
    auto library = openQuotaLibrary(deKey);
    auto quota = library->OpenRecordset(QStringLiteral("SELECT * FROM DM WHERE ID=") + dmid, dbOpenDynaset);
    if (quota->RecordCount() == 0) return;  // a quota missing from its library keeps the row's own texts
    GridModel& g = m_grid.cells();
    const QString namePart = ownName.isEmpty() ? quota->Text(QStringLiteral("Name")) : ownName;
    const QString text = quota->Text(QStringLiteral("DECode")) + QLatin1Char(' ') + namePart;
    g.setTextMatrix(row, colOf(HCol_F::Code), text);
    g.setTextMatrix(row, colOf(HCol_F::Name), text);
    g.setTextMatrix(row, colOf(HCol_F::Unit), quota->Text(QStringLiteral("Unit")));
}

}  // namespace kx
