// Recent and favourite items: the panel beside the tree that shows them for the open library, and what
// puts items there (a call of an item, the favourite command) and takes the user back to one.
#pragma once

#include <QTabWidget>
#include <functional>
#include <memory>

#include "core/data/item_index.h"
#include "core/data/item_marks.h"

class QTreeWidget;

namespace kx {

class OutlineGrid;
class PropertyStore;
struct BrowserState;

/// The panel ("marksPanel") with the tabs "最近使用" (list "lstRecent") and "收藏" (list "lstFavourites"):
/// code, name and unit of each item of the open library, latest call first; an item the library no
/// longer holds is greyed and says so. Double-click or Enter on an entry goes to the item.
class RecentFavourites : public QTabWidget {
public:
    /// Text after the name of an item the open library no longer holds.
    static const QString MissingNote;

    /// `index` gives the index of the open library (to tell which remembered items it still holds).
    RecentFavourites(const BrowserState& state, OutlineGrid& grid,
                     std::function<std::shared_ptr<const ItemIndex>()> index, QWidget* parent);
    ~RecentFavourites() override;

    /// Keeps the marks in `store` (null: in memory).
    void setStore(PropertyStore* store);
    /// The key of the open library ("" when it has none), read once per library file.
    QString libraryKey();
    /// Notes that the item `code` of library `key` was called; its name and unit come from the grid's
    /// current row.
    void noteCall(const QString& key, const QString& code);
    /// Whether the item of grid row `row` is a favourite of the open library.
    bool isFavourite(int row);
    /// Marks the item of grid row `row` as a favourite, or clears the mark.
    void toggleFavourite(int row);
    /// Shows the marks of the open library.
    void refresh();

    /// Called with the code of the entry the user chose.
    std::function<void(const QString& code)> onChosen;

private:
    QTreeWidget* makeList(const char* name);
    void fill(QTreeWidget& list, const QList<MarkedItem>& items, const ItemIndex* index);
    /// The item of grid row `row` as the marks keep it (a child row stands for its item).
    MarkedItem itemOfRow(int row) const;

    const BrowserState& m_state;
    OutlineGrid& m_grid;
    std::function<std::shared_ptr<const ItemIndex>()> m_index;
    ItemMarks m_marks;
    QTreeWidget* m_recent;
    QTreeWidget* m_favourites;
    QString m_keyOf;  // the library file whose key m_key holds
    QString m_key;
};

}  // namespace kx
