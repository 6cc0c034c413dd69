#include "widgets/controls/modvsf.h"

#include "widgets/controls/outlinegrid.h"

namespace modVSF {

void InitGridStyle(kx::OutlineGrid& grid, bool p_Border, bool p_Stripes) {
    grid.setFrameShape(p_Border ? QFrame::Box : QFrame::NoFrame);
    grid.setAlternatingRowColors(p_Stripes);
    grid.setSelectionBehavior(QAbstractItemView::SelectRows);
    grid.setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Texts wider than their column lose their middle: codes differ at their ends and marks follow names.
    grid.setTextElideMode(Qt::ElideMiddle);
    grid.setRowHeightMin(300);
    if (grid.cells().Cols() > 0) grid.cells().setColWidth(0, 400);
}

}  // namespace modVSF
