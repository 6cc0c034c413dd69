// The common look of the component's grids.
#pragma once

#include "kxview/kxview_export.h"

namespace kx {
class OutlineGrid;
}

namespace modVSF {

/// Gives `grid` the common look: flat, a frame only when `p_Border`, alternating row colours only when
/// `p_Stripes`, whole rows selected, no editing, texts too wide for their column shortened in the middle,
/// a minimum row height of 300 twips, and a fixed column 400 twips wide when the grid has any column.
KXVIEW_EXPORT void InitGridStyle(kx::OutlineGrid& grid, bool p_Border, bool p_Stripes);

}  // namespace modVSF
