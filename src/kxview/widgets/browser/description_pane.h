// The description pane below the grid, which follows the current row.
#pragma once

#include <QString>

namespace modPub_HS {
struct HSEntry;
}

namespace kx {

class Database;
class OutlineGrid;
class RelatedQuotas;
class RichTextPane;
struct BrowserState;

/// Shows the current row's text below the grid: a quota item's work content and notes (and its conversion
/// rows, inserted below it the first time it is current), a conversion's explanation, a bill item's
/// features, work content and rules (and its related quotas), a related quota's text.
class DescriptionPane {
public:
    DescriptionPane(const BrowserState& state, OutlineGrid& grid, RichTextPane& txtSM, RelatedQuotas& related)
        : m_state(state), m_grid(grid), m_txtSM(txtSM), m_related(related) {}

    /// Describes the current row as its library kind does; nothing while no item row is current.
    void F_RowColChange();
    /// A row of a quota library: the item's text and conversion rows, or a conversion's explanation.
    void describeQuotaRow(int row);
    /// A row of a bill-item library: the item's text and related quotas, or a related quota's text.
    void describeBillRow(int row);

private:
    /// Shows the work content and notes of the first DM row `sql` selects in `db`; none keeps the pane.
    void showQuotaText(Database& db, const QString& sql);
    void insertConversionRows(int row, qint32 id);
    void writeConversionRow(int row, const modPub_HS::HSEntry& entry);
    void showConversionExplanation(int row);
    void showBillItemText(int row);
    void showRelatedQuotaText(int row);

    const BrowserState& m_state;
    OutlineGrid& m_grid;
    RichTextPane& m_txtSM;
    RelatedQuotas& m_related;
};

}  // namespace kx
