// The browser's additions for daily work, each switched on by the host: they hang off the points where the
// browser lists, lays out, changes rows and finds, and leave its specified behaviour alone while off.
#pragma once

#include <QObject>
#include <bitset>
#include <functional>
#include <memory>
#include <vector>

#include "kxview/kxview.h"

class QShortcut;

namespace kx {

class DescriptionPane;
class FramedPanel;
class ItemIndex;
class ItemLists;
class KXTree;
class ListDelegate;
class ListFilter;
class OutlineGrid;
class PropertyStore;
class RecentFavourites;
class RichTextPane;
class RowEvents;
class StatusLine;
class frmPub_Find;
struct BrowserState;

/// The parts of the browser the additions work with, and the two procedures of its shell they call.
struct BrowserParts {
    KXView& q;
    BrowserState& state;
    KXTree* tree;
    FramedPanel* box;
    OutlineGrid* F;
    RichTextPane* txtSM;
    ItemLists* lists;
    RowEvents* rows;
    DescriptionPane* pane;
    /// Lays the control out.
    std::function<void()> UserControl_Resize;
    /// Lists the category of the tree node whose row ID is given.
    std::function<void(qint16, const QString&)> tree_NodeClick;
};

/// What the browser does beyond its specification. Every hook does nothing for an addition that is off.
class Additions : public QObject {
public:
    /// What replaced the grid's rows.
    enum class ListOrigin { Category, Find, Filter };

    explicit Additions(BrowserParts parts);
    ~Additions() override;

    bool isOn(KXView::Addition which) const { return m_on.test(static_cast<size_t>(which)); }
    void set(KXView::Addition which, bool on);
    void setMarksStore(PropertyStore* store);

    /// A library was opened.
    void afterLoad();
    /// The grid's rows were replaced by a listing; `text` is what was looked for (a find or the filter).
    void afterListing(ListOrigin origin, const QString& text = {});
    /// Before the find dialog shows.
    void beforeFind(frmPub_Find& form);
    /// After a find listed its results.
    void afterFind();
    /// The items of the whole library whose names match `text` by pinyin, for a find by name that
    /// contains `text` (rangeKind 1, findKind 1) with letters in it; none otherwise.
    std::vector<qint32> pinyinMatches(qint32 rangeKind, qint32 findKind, const QString& text);
    /// Places the additions' controls after the layout placed the specified ones.
    void place();
    /// Shows the current row's description; true when the row change was handled here (a failure then
    /// goes to the status line), false when the browser handles it as specified.
    bool describeCurrentRow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply(KXView::Addition which);
    void applyColumns();
    void ensureStatusLine();
    void ensureFilter();
    void ensureMarks();
    /// The index of the open library, with pinyin readings when PinyinFind is on.
    std::shared_ptr<const ItemIndex> index() const;
    void refreshListInfo();
    void updateNotice();
    bool handleGridKey(int key, Qt::KeyboardModifiers modifiers);
    bool handleGridMouse(QEvent* event);
    void showGridMenu(const QPoint& pos);
    void showPriceHistory(int row);
    /// Runs a user's command; a failure is shown and logged, never thrown into the event loop.
    void guarded(const QString& what, const std::function<void()>& command);
    /// Goes to the item `code` of the open library: its category listed, its row current.
    void goToItem(const QString& code);
    void noteCall(const QString& key, const QString& code);

    BrowserParts d;
    std::bitset<32> m_on;
    ListDelegate* m_delegate;
    StatusLine* m_status = nullptr;
    ListFilter* m_filter = nullptr;
    RecentFavourites* m_marks = nullptr;
    QShortcut* m_findKey = nullptr;
    PropertyStore* m_marksStore = nullptr;
    QString m_notice;  // what an empty list says
};

}  // namespace kx
