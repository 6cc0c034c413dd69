// The listed items as the browser reads them back from the grid's cells.
#pragma once

#include <QString>

#include "kxview/enums.h"

namespace kx {

class GridModel;

/// The grid column of an HCol_F member.
constexpr int colOf(HCol_F c) {
    return static_cast<int>(c) + 1;
}

/// The text the quota listing appends to the name of a corrected item.
inline const QString& errataMark() {
    static const QString mark = QStringLiteral(" [堪误]");
    return mark;
}

/// Reads the item grid's rows: cells by their HCol_F column, and the numbers cells hold.
class ItemRows {
public:
    explicit ItemRows(const GridModel& cells) : m_cells(cells) {}

    /// The text of cell (`row`, `c`); kx::ControlError when the row does not exist.
    QString cell(int row, HCol_F c) const;
    /// The ID column of `row` as a number: its leading decimal number rounded to a 32-bit integer (0 for
    /// an empty or non-numeric cell); std::overflow_error beyond 32 bits.
    qint32 rowId(int row) const;
    /// The nearest row above `row` whose ID is above 0 (the quota row of a conversion row); 0 when none.
    int quotaRowAbove(int row) const;
    /// The conversion code of `row`: the number after the first two characters of its code cell (" -12"
    /// gives 12); std::overflow_error beyond 16 bits.
    qint16 hsCode(int row) const;
    /// The row of the item `row` belongs to: `row` itself, or for a child row (a conversion or related
    /// quota: a node of level 1 or more) the nearest row above that is none.
    int itemRow(int row) const;
    /// The name of `row` without the errata mark.
    QString itemName(int row) const;

private:
    const GridModel& m_cells;
};

}  // namespace kx
