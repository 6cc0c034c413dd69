// The filter box above the grid: at each keystroke it narrows the listed category to the items whose code,
// name or unit matches (names also by pinyin), or lists the matches of the whole library.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "core/data/item_index.h"

class QCheckBox;
class QLineEdit;

namespace kx {

class ItemLists;
class ListDelegate;
class OutlineGrid;
struct BrowserState;

/// The filter bar ("filterBar": the text box "txtFilter" and the check box "chkWholeLibrary") and the
/// filtering it does. Child rows (conversions, related quotas) follow the item above them.
class ListFilter : public QWidget {
public:
    /// How many matches of the whole library are listed at most; the status line tells how many there are.
    static constexpr int MaxListed = 500;

    ListFilter(const BrowserState& state, OutlineGrid& grid, ItemLists& lists, ListDelegate& delegate,
               QWidget* parent);
    ~ListFilter() override;

    /// Whether names match by pinyin too.
    void setPinyin(bool on);
    /// The text typed.
    QString text() const;
    /// Empties the box; the list returns to the category.
    void clear();
    /// Applies the text to a list the browser has just replaced (a category, a find): it narrows it.
    void applyToNewList();
    /// What the status line says of the list under the filter; empty without a filter.
    QString listInfo() const;

    /// Called when the filter replaced the list with the matches of the whole library.
    std::function<void()> onListReplaced;
    /// Called when the filter leaves the whole library: the category selected in the tree is listed again.
    std::function<void()> onBackToCategory;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void textEdited();
    void narrowList();
    void listWholeLibrary();
    /// The readings names are matched by (null without pinyin).
    const PinyinReadings* readings() const;
    /// Whether grid row `row` (or the item it belongs to) matches.
    bool rowPasses(int row) const;

    const BrowserState& m_state;
    OutlineGrid& m_grid;
    ItemLists& m_lists;
    ListDelegate& m_delegate;
    QLineEdit* m_text;
    QCheckBox* m_wholeLibrary;
    bool m_pinyin = false;
    RowFilter m_filter;
    bool m_listsLibrary = false;  // the grid holds the whole library's matches
    QString m_previousText;       // the text whose matches m_matches holds
    std::vector<int> m_matches;   // positions in the index
    std::shared_ptr<const ItemIndex> m_index;
};

}  // namespace kx
