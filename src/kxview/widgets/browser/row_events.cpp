// Row selection and host events: the call routine (double-click and the call tool), the errata cell's
// click, the link tool, and Enter on a collapsed node.
#include "widgets/browser/row_events.h"

#include "core/data/modpub_chars.h"
#include "core/data/modpub_db.h"
#include "kxview/kxview.h"
#include "widgets/browser/browser_state.h"
#include "widgets/browser/item_rows.h"
#include "widgets/controls/outlinegrid.h"

namespace kx {

void RowEvents::F_DblClick() {
    const int row = m_grid.Row();
    if (row <= 0) return;
    // The host's handler runs inside the raise, while the library is still open.
    auto db = modPub_DB::OpenDB(m_state.DBFullName);
    const QString key = modPub_DB::GetKeyInfo(*db, QStringLiteral("Key"));
    const LibraryProfile& profile = m_state.profile();
    if (profile.callRow) (this->*profile.callRow)(row, key);
}

void RowEvents::callMaterialRow(int row, const QString& key) {
    const ItemRows rows(m_grid.cells());
    emit m_view.DoubleClickMate(rows.rowId(row), rows.cell(row, HCol_F::Code), key);
}

void RowEvents::callQuotaRow(int row, const QString& key) {
    const ItemRows rows(m_grid.cells());
    int item = row;
    qint16 hs = 0;
    if (m_grid.cells().RowOutlineLevel(row) == 1) {
        hs = rows.hsCode(row);
        if (const int above = rows.quotaRowAbove(row)) item = above;
    }
    emit m_view.DoubleClickDE(rows.rowId(item), rows.cell(item, HCol_F::Code), key, hs);
}

void RowEvents::callBillRow(int row, const QString&) {
    const ItemRows rows(m_grid.cells());
    const QString rowKind = rows.cell(row, HCol_F::RowKind);
    if (rowKind == QLatin1String("DataBook")) {
        emit m_view.DoubleClickDataBook(rows.cell(row, HCol_F::Code));
    } else if (rowKind == QLatin1String("DE")) {
        emit m_view.DoubleClickDE(
            rows.rowId(row), modPub_Chars::GetField(rows.cell(row, HCol_F::Code), QStringLiteral(" "), 1),
            rows.cell(row, HCol_F::DEKey), 0);
    }
}

void RowEvents::F_Click() {
    const ItemRows rows(m_grid.cells());
    if (m_grid.Col() != colOf(HCol_F::Other) ||
        rows.cell(m_grid.Row(), HCol_F::Other) != QStringLiteral("勘误"))
        return;
    raiseEditRecord(m_grid.Row());
}

void RowEvents::raiseEditRecord(int row) {
    auto db = modPub_DB::OpenDB(m_state.DBFullName);
    const QString key = modPub_DB::GetKeyInfo(*db, QStringLiteral("Key"));
    emit m_view.CallDEEditRecord(ItemRows(m_grid.cells()).rowId(row), key);
    db->Close();
}

void RowEvents::F_KeyDown(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
    const int row = m_grid.Row();
    if (row >= 1 && m_grid.cells().IsCollapsed(row) == OutlineCollapsed)
        m_grid.cells().setIsCollapsed(row, OutlineExpanded);
}

void RowEvents::CallDELinkForRow() {
    const int row = m_grid.Row();
    if (row < 1) return;
    auto db = modPub_DB::OpenDB(m_state.DBFullName);
    const QString key = modPub_DB::GetKeyInfo(*db, QStringLiteral("Key"));
    emit m_view.CallDELink(ItemRows(m_grid.cells()).rowId(row), key);
}

}  // namespace kx
