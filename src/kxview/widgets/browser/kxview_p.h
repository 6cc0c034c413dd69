// KXView's private part: its state, its constituent controls, the helpers that list, describe and call the
// items, and the procedures of the shell (library opening, the category tree, the layout).
#pragma once

#include <QString>
#include <memory>

#include "kxview/kxview.h"
#include "widgets/browser/additions.h"
#include "widgets/browser/browser_state.h"
#include "widgets/browser/description_pane.h"
#include "widgets/browser/item_lists.h"
#include "widgets/browser/library_pickers.h"
#include "widgets/browser/price_columns.h"
#include "widgets/browser/related_quotas.h"
#include "widgets/browser/row_events.h"

namespace kx {

class FramedPanel;
class KXBar;
class KXTree;
class OutlineGrid;
class PaneSplitter;
class RichTextPane;

struct KXView::Private {
    explicit Private(KXView& view);

    KXView& q;
    BrowserState state;

    // Constituent controls.
    PaneSplitter* Sp = nullptr;
    KXTree* tree = nullptr;
    FramedPanel* box = nullptr;
    OutlineGrid* F = nullptr;
    FramedPanel* KXHead1 = nullptr;
    RichTextPane* txtSM = nullptr;
    KXBar* toolbar = nullptr;

    // What the control does with the grid, each in a class of its own.
    std::unique_ptr<PriceColumns> prices;
    std::unique_ptr<ItemLists> lists;
    std::unique_ptr<RelatedQuotas> related;
    std::unique_ptr<DescriptionPane> pane;
    std::unique_ptr<RowEvents> rows;
    /// What the browser does beyond its specification, as the host switches it on.
    std::unique_ptr<Additions> additions;
    std::unique_ptr<LibraryPickers> pickers;

    bool layingOut = false;  // guards the layout against the splitter's notification while it runs

    void createControls();
    void connectNotifications();
    /// Places the constituent controls for the current size and library kind.
    void UserControl_Resize();
    /// Lists the category of the tree node whose row ID is `p_ID`.
    void tree_NodeClick(qint16 p_ID, const QString& p_Text);
};

}  // namespace kx
