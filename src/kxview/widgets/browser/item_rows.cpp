#include "widgets/browser/item_rows.h"

#include "core/data/numbers.h"
#include "widgets/controls/gridmodel.h"

namespace kx {

QString ItemRows::cell(int row, HCol_F c) const {
    return m_cells.TextMatrix(row, colOf(c));
}

qint32 ItemRows::rowId(int row) const {
    return roundToInt32(leadingNumber(cell(row, HCol_F::ID)));
}

int ItemRows::quotaRowAbove(int row) const {
    for (int above = row - 1; above >= 1; --above) {
        if (leadingNumber(cell(above, HCol_F::ID)) > 0) return above;
    }
    return 0;
}

qint16 ItemRows::hsCode(int row) const {
    return roundToInt16(leadingNumber(cell(row, HCol_F::Code).mid(2)));
}

int ItemRows::itemRow(int row) const {
    while (row > GridModel::FixedRows && m_cells.IsSubtotal(row) && m_cells.RowOutlineLevel(row) > 0) --row;
    return row;
}

QString ItemRows::itemName(int row) const {
    QString name = cell(row, HCol_F::Name);
    if (name.endsWith(errataMark())) name.chop(errataMark().size());
    return name;
}

}  // namespace kx
