// Row selection and host events: the call routine (double-click and the call tool), the errata cell's
// click, Enter on a collapsed node, and the conversion code of a row.

#include "core/data/modpub_chars.h"
#include "core/data/modpub_db.h"
#include "core/data/numbers.h"
#include "widgets/browser/kxview_p.h"
#include "widgets/controls/outlinegrid.h"

namespace kx {

QString KXView::Private::cell(int row, HCol_F c) const {
    return F->cells().TextMatrix(row, colOf(c));
}

qint32 gridRowId(const GridModel& grid, int row) {
    return roundToInt32(leadingNumber(grid.TextMatrix(row, colOf(HCol_F::ID))));
}

qint32 KXView::Private::rowId(int row) const {
    return gridRowId(F->cells(), row);
}

int KXView::Private::quotaRowAbove(int row) const {
    for (int above = row - 1; above >= 1; --above) {
        if (leadingNumber(cell(above, HCol_F::ID)) > 0) return above;
    }
    return 0;
}

void KXView::Private::F_DblClick() {
    const int row = F->Row();
    if (row <= 0) return;
    // The host's handler runs inside the raise, while the library is still open.
    auto db = modPub_DB::OpenDB(DBFullName);
    const QString key = modPub_DB::GetKeyInfo(*db, QStringLiteral("Key"));
    switch (kind()) {
        case LibraryKind::Mate:
            emit q.DoubleClickMate(rowId(row), cell(row, HCol_F::Code), key);
            break;
        case LibraryKind::DE: {
            int item = row;
            qint16 hs = 0;
            if (F->cells().RowOutlineLevel(row) == 1) {
                hs = q.GetHSCode(static_cast<qint16>(row));
                if (const int above = quotaRowAbove(row)) item = above;
            }
            emit q.DoubleClickDE(rowId(item), cell(item, HCol_F::Code), key, hs);
            break;
        }
        case LibraryKind::DataBook: {
            const QString rowKind = cell(row, HCol_F::RowKind);
            if (rowKind == QLatin1String("DataBook")) {
                emit q.DoubleClickDataBook(cell(row, HCol_F::Code));
            } else if (rowKind == QLatin1String("DE")) {
                emit q.DoubleClickDE(rowId(row),
                                     modPub_Chars::GetField(cell(row, HCol_F::Code), QStringLiteral(" "), 1),
                                     cell(row, HCol_F::DEKey), 0);
            }
            break;
        }
        case LibraryKind::None:
            break;
    }
}

void KXView::Private::F_Click() {
    if (F->Col() != colOf(HCol_F::Other) || cell(F->Row(), HCol_F::Other) != QStringLiteral("勘误")) return;
    auto db = modPub_DB::OpenDB(DBFullName);
    const QString key = modPub_DB::GetKeyInfo(*db, QStringLiteral("Key"));
    emit q.CallDEEditRecord(rowId(F->Row()), key);
    db->Close();
}

void KXView::Private::F_KeyDown(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
    const int row = F->Row();
    if (row >= 1 && F->cells().IsCollapsed(row) == OutlineCollapsed)
        F->cells().setIsCollapsed(row, OutlineExpanded);
}

qint16 KXView::GetHSCode(qint16 p_Row) const {
    return roundToInt16(leadingNumber(d->cell(p_Row, HCol_F::Code).mid(2)));
}

}  // namespace kx
