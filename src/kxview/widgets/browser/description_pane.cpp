// The description pane below the grid, which follows the current row: a quota item's work content and
// notes (and its conversion rows, inserted the first time it is current), a conversion's explanation, a
// bill item's features, work content and rules (and its related quotas), a related quota's text.
#include "widgets/browser/description_pane.h"

#include <QColor>

#include "core/data/modpub_db.h"
#include "core/data/modpub_hs.h"
#include "widgets/browser/browser_state.h"
#include "widgets/browser/item_rows.h"
#include "widgets/browser/related_quotas.h"
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

void DescriptionPane::F_RowColChange() {
    const int row = m_grid.Row();
    if (row < GridModel::FixedRows) return;  // no item row is current
    const LibraryProfile& profile = m_state.profile();
    if (profile.describeRow) (this->*profile.describeRow)(row);
}

void DescriptionPane::describeQuotaRow(int row) {
    const qint32 id = ItemRows(m_grid.cells()).rowId(row);
    auto db = modPub_DB::OpenDB(m_state.DBFullName);
    showQuotaText(*db, QStringLiteral("SELECT * From DM WHERE ID =") + QString::number(id));
    // RowData marks a quota row whose conversions were looked up; it is empty until the grid is refilled.
    if (m_grid.cells().RowData(row).toInt() == 0 && id > 0) insertConversionRows(row, id);
    if (m_grid.cells().RowOutlineLevel(row) == 1) showConversionExplanation(row);
    db->Close();
}

void DescriptionPane::showQuotaText(Database& db, const QString& sql) {
    auto rs = db.OpenRecordset(sql, dbOpenDynaset);
    if (rs->RecordCount() > 0) m_txtSM.setText(quotaText(*rs));
}

void DescriptionPane::insertConversionRows(int row, qint32 id) {
    modPub_HS::LoadHS(id, m_state.DBFullName);
    GridModel& g = m_grid.cells();
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

void DescriptionPane::writeConversionRow(int row, const modPub_HS::HSEntry& entry) {
    GridModel& g = m_grid.cells();
    g.setTextMatrix(row, colOf(HCol_F::Code), QStringLiteral(" -") + QString::number(entry.code));
    g.setTextMatrix(row, colOf(HCol_F::Name), entry.name);
    g.setTextMatrix(row, colOf(HCol_F::Other), QStringLiteral("换算"));
    g.setIsSubtotal(row, true);
    g.setRowOutlineLevel(row, 1);
    g.setCellBackColor(row, GridModel::FixedCols, g.Cols() - 1, kConversionBack);
    g.setCellForeColor(row, colOf(HCol_F::Other), colOf(HCol_F::Other), kConversionMarkColor);
}

void DescriptionPane::showConversionExplanation(int row) {
    const ItemRows rows(m_grid.cells());
    const int item = rows.quotaRowAbove(row);
    const qint32 itemId = item > 0 ? rows.rowId(item) : 0;
    const qint16 hs = rows.hsCode(row);
    modPub_HS::LoadHS(itemId, m_state.DBFullName);
    // Codes are numbered per kind: only an ordinary conversion (kind 0) has the code of a conversion row.
    for (const modPub_HS::HSEntry& entry : modPub_HS::HSEntries()) {
        if (entry.kind == 0 && entry.code == hs) {
            m_txtSM.setText(entry.SM);
            return;
        }
    }
}

void DescriptionPane::describeBillRow(int row) {
    const QString rowKind = ItemRows(m_grid.cells()).cell(row, HCol_F::RowKind);
    if (rowKind == QLatin1String("DataBook")) {
        showBillItemText(row);
        m_related.LoadWithDE();
    } else if (rowKind == QLatin1String("DE")) {
        showRelatedQuotaText(row);
    } else {
        m_txtSM.setText(QString());
    }
}

void DescriptionPane::showBillItemText(int row) {
    auto db = modPub_DB::OpenDB(m_state.DBFullName);
    auto rs = db->OpenRecordset(QStringLiteral("SELECT * From DataBook WHERE ID =") +
                                    QString::number(ItemRows(m_grid.cells()).rowId(row)),
                                dbOpenDynaset);
    if (rs->RecordCount() > 0) m_txtSM.setText(billItemText(*rs));
    db->Close();
}

void DescriptionPane::showRelatedQuotaText(int row) {
    const ItemRows rows(m_grid.cells());
    auto library = m_related.openQuotaLibrary(rows.cell(row, HCol_F::DEKey));
    showQuotaText(*library, QStringLiteral("SELECT * FROM DM WHERE ID=") + QString::number(rows.rowId(row)));
}

}  // namespace kx
