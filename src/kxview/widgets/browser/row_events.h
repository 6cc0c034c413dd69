// What the user does to a row: call it, click its errata cell, open it with Enter.
#pragma once

#include <QString>

namespace kx {

class KXView;
class OutlineGrid;
struct BrowserState;

/// Hands rows to the host by KXView's events: the call routine (double-click and the call tool) with the
/// library's key, the errata cell's click and the link tool; and opens a collapsed row on Enter.
class RowEvents {
public:
    RowEvents(const BrowserState& state, OutlineGrid& grid, KXView& view)
        : m_state(state), m_grid(grid), m_view(view) {}

    /// Calls the current row as its library kind does; the host's handler runs while the library is open.
    void F_DblClick();
    /// Raises CallDEEditRecord when the errata cell ("勘误" in the Other column) was clicked.
    void F_Click();
    /// Enter (or the keypad's Enter) opens the current row when it is collapsed.
    void F_KeyDown(int key);
    /// Raises CallDELink for the current row.
    void CallDELinkForRow();
    /// Raises CallDEEditRecord for the item of grid row `row`, with the library's key.
    void raiseEditRecord(int row);

    /// DoubleClickMate for material row `row`.
    void callMaterialRow(int row, const QString& key);
    /// DoubleClickDE for quota row `row`, or for the quota above conversion row `row` with its code.
    void callQuotaRow(int row, const QString& key);
    /// DoubleClickDataBook for a bill item, DoubleClickDE for a related quota.
    void callBillRow(int row, const QString& key);

private:
    const BrowserState& m_state;
    OutlineGrid& m_grid;
    KXView& m_view;
};

}  // namespace kx
