// KXView's private part: its state, its constituent controls and the procedures behind its members and
// event handlers, implemented by topic in kxview.cpp (shell, opening, layout), category_tree.cpp,
// item_lists.cpp, row_events.cpp, description_pane.cpp, related_quotas.cpp, find.cpp and prices.cpp.
#pragma once

#include <QString>
#include <memory>

#include "core/db/dbengine.h"
#include "kxview/kxview.h"

namespace modPub_HS {
struct HSEntry;
}

namespace kx {

class GridModel;
class OutlineGrid;
class FramedPanel;
class KXBar;
class KXTree;
class PaneSplitter;
class RichTextPane;

/// The grid column of an HCol_F member.
constexpr int colOf(HCol_F c) {
    return static_cast<int>(c) + 1;
}

/// The library kinds FindStyle names.
enum class LibraryKind { None, DE, Mate, DataBook };

/// The library kind a FindStyle text names (exact, case-sensitive).
LibraryKind libraryKindOf(const QString& findStyle);

/// The ID column of grid row `row` as a number: its leading decimal number rounded to a 32-bit integer
/// (0 for an empty or non-numeric cell).
qint32 gridRowId(const GridModel& grid, int row);

class PriceColumns;

struct KXView::Private {
    explicit Private(KXView& view);

    KXView& q;

    // The state kept between calls: five strings, nothing else.
    QString DBFullName;
    QString PriceDBFullPath;
    QString FindStyle;
    QString MateKey;
    QString AppPath;

    // Constituent controls.
    KXBar* toolbar = nullptr;
    PaneSplitter* Sp = nullptr;
    KXTree* tree = nullptr;
    FramedPanel* box = nullptr;
    OutlineGrid* F = nullptr;
    FramedPanel* KXHead1 = nullptr;
    RichTextPane* txtSM = nullptr;

    bool layingOut = false;  // guards the layout against the splitter's notification while it runs

    LibraryKind kind() const;
    /// The price columns of the grid.
    PriceColumns prices() const;

    // Shell and opening (kxview.cpp).
    void createControls();
    void connectNotifications();
    void UserControl_Resize();
    void CallDELinkForRow();

    // Category tree (category_tree.cpp).
    void tree_NodeClick(qint16 p_ID, const QString& p_Text);

    // Item grid and lists (item_lists.cpp).
    void InitGrid();
    void LoadMateByClass(const QString& p_dbFullName, const QString& p_Class);
    void LoadDataBookByClass(const QString& p_dbFullName, const QString& p_Class);
    void LoadDEByClass(const QString& p_dbFullName, const QString& p_Class);
    void FillMateGrid(Recordset& rs);
    void FillDataBookGrid(Recordset& rs);
    void FillDEGrid(Recordset& rs, Database& db);
    /// Adds a row at the bottom of the grid for the next listed item and returns its index; a list holds
    /// at most 32,767 items (std::overflow_error beyond).
    int appendItemRow();

    // Row selection and host events (row_events.cpp).
    void F_DblClick();
    void F_Click();
    void F_KeyDown(int key);
    /// The text of a grid cell.
    QString cell(int row, HCol_F c) const;
    /// The ID column of `row` as a number (0 for an empty or non-numeric cell).
    qint32 rowId(int row) const;
    /// The nearest row above `row` whose ID is above 0 (the quota row of a conversion row); 0 when none.
    int quotaRowAbove(int row) const;

    // Description pane and conversion rows (description_pane.cpp).
    void F_RowColChange();
    void describeQuotaRow(int row);
    void describeBillRow(int row);
    /// Shows the work content and notes of the first DM row `sql` selects in `db`; none keeps the pane.
    void showQuotaText(Database& db, const QString& sql);
    void insertConversionRows(int row, qint32 id);
    void writeConversionRow(int row, const modPub_HS::HSEntry& entry);
    void showConversionExplanation(int row);
    void showBillItemText(int row);
    void showRelatedQuotaText(int row);

    // Related quotas of bill items (related_quotas.cpp).
    /// Opens the installed quota library whose KeyInfo holds `key`; kx::DbError naming the key when no
    /// installed library does.
    std::unique_ptr<Database> openQuotaLibrary(const QString& key) const;
    void writeRelatedRow(int row, Recordset& rs);
    void completeRelatedQuota(int row, const QString& ownName, const QString& dmid, const QString& deKey);
};

}  // namespace kx
