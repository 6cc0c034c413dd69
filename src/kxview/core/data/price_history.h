// The price of one item across the price files of its set, ordered by the files' dates: the figures
// behind the browser's price history chart.
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <optional>
#include "kxview/kxview_core_export.h"

namespace kx {

/// Where a price file holds the price of an item: "SELECT * FROM <table> WHERE <idField>=" + the item's
/// ID, the price in <valueField> (Price/MateID/Price for materials, DMPrice/DMID/CorePrice for quotas).
struct PriceTable {
    QString table;
    QString idField;
    QString valueField;
};

/// The price of one item in one price file.
struct PricePoint {
    QString file;                 ///< the price file's full name
    QString shortName;            ///< its KeyInfo "ShortName" (its title when it has none)
    QDate date;                   ///< its KeyInfo "Date"; invalid when missing or unreadable
    std::optional<double> price;  ///< none: the file has no price for the item (a gap)
    QString error;                ///< why the file could not be read; empty when it was
};

/// A price file's date as KeyInfo "Date" writes it ("2024-01-15", "2024/1/15", "2024.01.15", "20240115",
/// "2024-01"); invalid for anything else.
KXVIEW_CORE_EXPORT QDate priceFileDate(const QString& text);

/// The price of item `id` in every price file (".QTJG" and ".JG") of `folder`, ordered by the files'
/// dates; files without a date come last, by name. A file that cannot be read gives a point with its
/// error and no price, and the others are still read.
KXVIEW_CORE_EXPORT QList<PricePoint> readPriceHistory(const QString& folder, const PriceTable& source,
                                                      qint32 id);

}  // namespace kx
