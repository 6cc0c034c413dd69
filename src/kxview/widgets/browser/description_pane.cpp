// The description pane below the grid, which follows the current row: a quota item's work content and
// notes (and its conversion rows, inserted the first time it is current), a conversion's explanation, a
// bill item's features, work content and rules (and its related quotas), a related quota's text.
#include <QColor>

#include "core/data/modpub_db.h"
#include "core/data/modpub_hs.h"
#include "widgets/browser/kxview_p.h"
#include "widgets/controls/outlinegrid.h"
#include "widgets/controls/richtextpane.h"

namespace kx {
namespace {

const QString kCR = QStringLiteral("\r");
const QString kCRLF = QStringLiteral("\r\n");
const QColor kConversionBack(245, 245, 245);
const QColor kConversionMarkColor(0, 0, 180);

/// A quota item's description: its work content, then CR and its notes when it has any.
QString quotaText(const Recordset& rs) {
    QString text = rs.Text(QStringLiteral("WorkInfo"));
    const QString notes = rs.Text(QStringLiteral("DESM"));
    if (!notes.isEmpty()) text += kCR + notes;
    return text;
}

/// Appends a titled section to a bill item's description; an empty body adds nothing.
void appendSection(QString& text, const QString& title, const QString& body) {
    if (body.isEmpty()) return;
    if (!text.isEmpty()) text += kCRLF;
    text += title + kCRLF + body;
}

/// A bill item's description: its features, work content and measurement rule, each under its title.
QString billItemText(const Recordset& rs) {
    QString text;
    appendSection(text, QStringLiteral("【项目特征】"), rs.Text(QStringLiteral("Feature")));
    appendSection(text, QStringLiteral("【工作内容】"), rs.Text(QStringLiteral("Content")));
    appendSection(text, QStringLiteral("【计算规则】"), rs.Text(QStringLiteral("Ruler")));
    return text;
}

}  // namespace

void KXView::Private::F_RowColChange() {
    const int row = F->Row();
    if (row < GridModel::FixedRows) return;  // no item row is current
    switch (kind()) {
        case LibraryKind::DE:
            describeQuotaRow(row);
            break;
        case LibraryKind::DataBook:
            describeBillRow(row);
            break;
        case LibraryKind::Mate:
        case LibraryKind::None:
            break;
    }
}

void KXView::Private::describeQuotaRow(int row) {
    const qint32 id = rowId(row);
    auto db = modPub_DB::OpenDB(DBFullName);
    showQuotaText(*db, QStringLiteral("SELECT * From DM WHERE ID =") + QString::number(id));
    // RowData marks a quota row whose conversions were looked up; it is empty until the grid is refilled.
    if (F->cells().RowData(row).toInt() == 0 && id > 0) insertConversionRows(row, id);
    if (F->cells().RowOutlineLevel(row) == 1) showConversionExplanation(row);
    db->Close();
}

void KXView::Private::showQuotaText(Database& db, const QString& sql) {
    auto rs = db.OpenRecordset(sql, dbOpenDynaset);
    if (rs->RecordCount() > 0) txtSM->setText(quotaText(*rs));
}

void KXView::Private::insertConversionRows(int row, qint32 id) {
    modPub_HS::LoadHS(id, DBFullName);
    GridModel& g = F->cells();
    if (modPub_HS::HasOrdinary()) {
        int r = row + 1;
        for (const modPub_HS::HSEntry& entry : modPub_HS::HSEntries()) {
            if (entry.kind != 0) continue;
            g.AddItem(QString(), r);
            writeConversionRow(r, entry);
            ++r;
        }
        g.setIsCollapsed(row, OutlineCollapsed);
    }
    g.setRowData(row, 1);
}

void KXView::Private::writeConversionRow(int row, const modPub_HS::HSEntry& entry) {
    GridModel& g = F->cells();
    g.setTextMatrix(row, colOf(HCol_F::Code), QStringLiteral(" -") + QString::number(entry.code));
    g.setTextMatrix(row, colOf(HCol_F::Name), entry.name);
    g.setTextMatrix(row, colOf(HCol_F::Other), QStringLiteral("换算"));
    g.setIsSubtotal(row, true);
    g.setRowOutlineLevel(row, 1);
    g.setCellBackColor(row, GridModel::FixedCols, g.Cols() - 1, kConversionBack);
    g.setCellForeColor(row, colOf(HCol_F::Other), colOf(HCol_F::Other), kConversionMarkColor);
}

void KXView::Private::showConversionExplanation(int row) {
    const int item = quotaRowAbove(row);
    const qint32 itemId = item > 0 ? rowId(item) : 0;
    const qint16 hs = q.GetHSCode(static_cast<qint16>(row));
    modPub_HS::LoadHS(itemId, DBFullName);
    // Codes are numbered per kind: only an ordinary conversion (kind 0) has the code of a conversion row.
    for (const modPub_HS::HSEntry& entry : modPub_HS::HSEntries()) {
        if (entry.kind == 0 && entry.code == hs) {
            txtSM->setText(entry.SM);
            return;
        }
    }
}

void KXView::Private::describeBillRow(int row) {
    const QString rowKind = cell(row, HCol_F::RowKind);
    if (rowKind == QLatin1String("DataBook")) {
        showBillItemText(row);
        q.LoadWithDE();
    } else if (rowKind == QLatin1String("DE")) {
        showRelatedQuotaText(row);
    } else {
        txtSM->setText(QString());
    }
}

void KXView::Private::showBillItemText(int row) {
    auto db = modPub_DB::OpenDB(DBFullName);
    auto rs = db->OpenRecordset(
        QStringLiteral("SELECT * From DataBook WHERE ID =") + QString::number(rowId(row)), dbOpenDynaset);
    if (rs->RecordCount() > 0) txtSM->setText(billItemText(*rs));
    db->Close();
}

void KXView::Private::showRelatedQuotaText(int row) {
    auto library = openQuotaLibrary(cell(row, HCol_F::DEKey));
    showQuotaText(*library, QStringLiteral("SELECT * FROM DM WHERE ID=") + QString::number(rowId(row)));
}

}  // namespace kx
