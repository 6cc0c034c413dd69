// The items a user called lately and the ones marked as favourites, per library, kept through a property
// store. Items are known by their library's key and their code, which a library update keeps.
#pragma once

#include <QList>
#include <QString>
#include <memory>
#include "kxview/kxview_core_export.h"

namespace kx {

class PropertyStore;

/// An item as it was remembered: its code, and its name and unit at that moment (shown for an item the
/// library no longer holds).
struct MarkedItem {
    QString code;
    QString name;
    QString unit;
    bool operator==(const MarkedItem&) const = default;
};

/// The recent and favourite items of every library, by library key. Each change is written at once to
/// the store (property "RecentItems/KEY" or "FavouriteItems/KEY", a JSON array); without a store they
/// last as long as the object. A stored value that is no such array reads as an empty list.
class KXVIEW_CORE_EXPORT ItemMarks {
public:
    /// How many recent items a library keeps; the oldest go first.
    static constexpr int MaxRecent = 30;

    /// Keeps the marks in memory until a store is chosen.
    ItemMarks();
    ~ItemMarks();

    /// Keeps the marks in `store` from now on (null: in memory again); the store must outlive its use.
    void setStore(PropertyStore* store);

    /// The items called lately in library `key`, latest first.
    QList<MarkedItem> recent(const QString& key) const;
    /// Puts `item` first among the recent items of `key` (once, by its code).
    void addRecent(const QString& key, const MarkedItem& item);
    /// The favourite items of `key`, in the order they were marked.
    QList<MarkedItem> favourites(const QString& key) const;
    /// Whether the item with `code` is a favourite of `key`.
    bool isFavourite(const QString& key, const QString& code) const;
    /// Marks `item` as a favourite of `key`, or clears the mark.
    void setFavourite(const QString& key, const MarkedItem& item, bool favourite);

private:
    QList<MarkedItem> read(const QString& property) const;
    void write(const QString& property, const QList<MarkedItem>& items);

    std::unique_ptr<PropertyStore> m_memory;  // used while no store is chosen
    PropertyStore* m_store;
};

}  // namespace kx
