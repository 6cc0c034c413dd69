#include "core/data/item_marks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include "core/services/logging.h"
#include "kxview/propertystore.h"

namespace kx {
namespace {

/// Properties kept in memory, for a control whose host chose no store.
class MemoryPropertyStore : public PropertyStore {
public:
    std::optional<QVariant> read(const QString& name) const override {
        const auto it = m_values.find(name);
        if (it == m_values.end()) return std::nullopt;
        return *it;
    }
    void write(const QString& name, const QVariant& value) override { m_values[name] = value; }

private:
    QMap<QString, QVariant> m_values;
};

QString recentProperty(const QString& key) {
    return QStringLiteral("RecentItems/") + key;
}
QString favouriteProperty(const QString& key) {
    return QStringLiteral("FavouriteItems/") + key;
}

qsizetype indexOfCode(const QList<MarkedItem>& items, const QString& code) {
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items[i].code == code) return i;
    }
    return -1;
}

}  // namespace

ItemMarks::ItemMarks() : m_memory(std::make_unique<MemoryPropertyStore>()), m_store(m_memory.get()) {}

ItemMarks::~ItemMarks() = default;

void ItemMarks::setStore(PropertyStore* store) {
    m_store = store != nullptr ? store : m_memory.get();
}

QList<MarkedItem> ItemMarks::recent(const QString& key) const {
    return read(recentProperty(key));
}

void ItemMarks::addRecent(const QString& key, const MarkedItem& item) {
    QList<MarkedItem> items = recent(key);
    const qsizetype known = indexOfCode(items, item.code);
    if (known >= 0) items.removeAt(known);
    items.prepend(item);
    if (items.size() > MaxRecent) items.resize(MaxRecent);
    write(recentProperty(key), items);
}

QList<MarkedItem> ItemMarks::favourites(const QString& key) const {
    return read(favouriteProperty(key));
}

bool ItemMarks::isFavourite(const QString& key, const QString& code) const {
    return indexOfCode(favourites(key), code) >= 0;
}

void ItemMarks::setFavourite(const QString& key, const MarkedItem& item, bool favourite) {
    QList<MarkedItem> items = favourites(key);
    const qsizetype known = indexOfCode(items, item.code);
    if (favourite == (known >= 0)) return;
    favourite ? items.append(item) : items.removeAt(known);
    write(favouriteProperty(key), items);
}

QList<MarkedItem> ItemMarks::read(const QString& property) const {
    QList<MarkedItem> items;
    std::optional<QVariant> stored;
    try {
        stored = m_store->read(property);
    } catch (const std::exception& e) {
        qCWarning(lcKxView) << "reading" << property << "failed:" << e.what();
    }
    if (!stored) return items;
    const QJsonDocument json = QJsonDocument::fromJson(stored->toString().toUtf8());
    for (const QJsonValue value : json.array()) {
        const QJsonObject o = value.toObject();
        if (!o.value(QLatin1String("code")).isString()) continue;
        items.append({o.value(QLatin1String("code")).toString(), o.value(QLatin1String("name")).toString(),
                      o.value(QLatin1String("unit")).toString()});
    }
    return items;
}

void ItemMarks::write(const QString& property, const QList<MarkedItem>& items) {
    QJsonArray array;
    for (const MarkedItem& item : items) {
        array.append(QJsonObject{{QStringLiteral("code"), item.code},
                                 {QStringLiteral("name"), item.name},
                                 {QStringLiteral("unit"), item.unit}});
    }
    const QString text = QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
    try {
        m_store->write(property, text);
    } catch (const std::exception& e) {
        // The marks are a convenience: a store that refuses them must not stop the user's work.
        qCWarning(lcKxView) << "writing" << property << "failed:" << e.what();
    }
}

}  // namespace kx
