// The related quotas of a bill item: the rows of its "WithDE_" table inserted below it, headings in bold
// and quota rows completed from the installed quota library their key names.
#include <QColor>

#include "core/data/modpub_db.h"
#include "core/data/numbers.h"
#include "core/io/filesystem.h"
#include "widgets/browser/kxview_p.h"
#include "widgets/controls/outlinegrid.h"

namespace kx {
namespace {

const QColor kRelatedBack(240, 240, 240);
const QString kBillItem = QStringLiteral("DataBook");

}  // namespace

std::unique_ptr<Database> KXView::Private::openQuotaLibrary(const QString& key) const {
    const QString folder = AppPath + QStringLiteral("造价资料\\定额库\\");
    const QString file = modPub_DB::FindLibraryByWithCode(folder, QStringLiteral(".QTDE"), key);
    if (file.isEmpty()) {
        // Opening the empty name would fail as well, but without saying which library is missing.
        throw DbError(jet::Status::NotFound("no installed quota library has the key '" + key.toStdString() +
                                            "' (searched " + fs::withSlashes(folder).toStdString() + ")"));
    }
    return modPub_DB::OpenDB(file);
}

void KXView::LoadWithDE() {
    GridModel& g = d->F->cells();
    const int r0 = d->F->Row();
    if (d->cell(r0, HCol_F::RowKind) != kBillItem) return;
    // A bill item followed by a row of another kind shows its related quotas already.
    if (r0 < g.Rows() - 1 && d->cell(r0 + 1, HCol_F::RowKind) != kBillItem) return;
    auto db = modPub_DB::OpenDB(d->DBFullName);
    const qint32 id = d->rowId(r0);
    const QString table = QStringLiteral("WithDE_") + d->cell(r0, HCol_F::Code).left(2);
    if (!modPub_DB::TableExists(*db, table)) return;
    auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE QDID=") +
                                    QString::number(id) + QStringLiteral(" Order By Code"),
                                dbOpenDynaset);
    int r = r0;
    for (; !rs->isEOF(); rs->MoveNext()) {
        ++r;
        g.AddItem(QString(), r);
        d->writeRelatedRow(r, *rs);
    }
    // Collapsed even without children: moving through a bill list only prepares the quotas.
    g.setIsCollapsed(r0, OutlineCollapsed);
    db->Close();
}

void KXView::Private::writeRelatedRow(int row, Recordset& rs) {
    GridModel& g = F->cells();
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

void KXView::Private::completeRelatedQuota(int row, const QString& ownName, const QString& dmid,
                                           const QString& deKey) {
    auto library = openQuotaLibrary(deKey);
    auto quota = library->OpenRecordset(QStringLiteral("SELECT * FROM DM WHERE ID=") + dmid, dbOpenDynaset);
    if (quota->RecordCount() == 0) return;  // a quota missing from its library keeps the row's own texts
    GridModel& g = F->cells();
    const QString namePart = ownName.isEmpty() ? quota->Text(QStringLiteral("Name")) : ownName;
    const QString text = quota->Text(QStringLiteral("DECode")) + QLatin1Char(' ') + namePart;
    g.setTextMatrix(row, colOf(HCol_F::Code), text);
    g.setTextMatrix(row, colOf(HCol_F::Name), text);
    g.setTextMatrix(row, colOf(HCol_F::Unit), quota->Text(QStringLiteral("Unit")));
}

}  // namespace kx
