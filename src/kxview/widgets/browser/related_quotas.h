// The related quotas of a bill item.
#pragma once

#include <QString>
#include <memory>

namespace kx {

class Database;
class OutlineGrid;
class Recordset;
struct BrowserState;

/// Inserts the rows of a bill item's "WithDE_" table below it, headings in bold and quota rows completed
/// from the installed quota library their key names, and finds that library for the description pane.
class RelatedQuotas {
public:
    /// Related quotas of the library the browser's `state` names, in `grid`.
    RelatedQuotas(const BrowserState& state, OutlineGrid& grid) : m_state(state), m_grid(grid) {}

    /// Inserts the related quotas of the current bill item below it, collapsed, once; does nothing on any
    /// other row or when they are shown already. Throws kx::DbError (the rows inserted before stay).
    void LoadWithDE();
    /// Opens the installed quota library whose KeyInfo holds `key`; kx::DbError naming the key when no
    /// installed library does.
    std::unique_ptr<Database> openQuotaLibrary(const QString& key) const;

private:
    void writeRelatedRow(int row, Recordset& rs);
    void completeRelatedQuota(int row, const QString& ownName, const QString& dmid, const QString& deKey);

    const BrowserState& m_state;
    OutlineGrid& m_grid;
};

}  // namespace kx
