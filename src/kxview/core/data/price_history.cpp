#include "core/data/price_history.h"

#include <algorithm>

#include "core/data/modpub_db.h"
#include "core/data/modpub_file.h"
#include "core/data/numbers.h"
#include "core/io/filesystem.h"

namespace kx {
namespace {

/// Reads the short name, date and price of item `id` from the price file `file`.
PricePoint readPoint(const QString& file, const PriceTable& source, qint32 id) {
    PricePoint point;
    point.file = file;
    point.shortName = modPub_File::GetFileTitle(file);
    try {
        auto db = modPub_DB::OpenDB(file);
        const QString shortName = modPub_DB::GetKeyInfo(*db, QStringLiteral("ShortName"));
        if (!shortName.isEmpty()) point.shortName = shortName;
        point.date = priceFileDate(modPub_DB::GetKeyInfo(*db, QStringLiteral("Date")));
        auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM %1 WHERE %2=%3")
                                        .arg(source.table, source.idField, QString::number(id)),
                                    dbOpenSnapshot);
        if (rs->RecordCount() > 0) point.price = leadingNumber(rs->Text(source.valueField));
        db->Close();
    } catch (const std::exception& e) {
        point.price.reset();
        point.error = QString::fromUtf8(e.what());
    }
    return point;
}

}  // namespace

QDate priceFileDate(const QString& text) {
    const QString trimmed = text.trimmed();
    for (const char* format :
         {"yyyy-M-d", "yyyy/M/d", "yyyy.M.d", "yyyyMMdd", "yyyy-M", "yyyy/M", "yyyy.M"}) {
        const QDate date = QDate::fromString(trimmed, QLatin1String(format));
        if (date.isValid()) return date;
    }
    return {};
}

QList<PricePoint> readPriceHistory(const QString& folder, const PriceTable& source, qint32 id) {
    QList<PricePoint> points;
    QStringList names =
        fs::listFiles(folder, QStringLiteral("*.QTJG")) + fs::listFiles(folder, QStringLiteral("*.JG"));
    for (const QString& name : names) points.append(readPoint(folder + name, source, id));
    std::stable_sort(points.begin(), points.end(), [](const PricePoint& a, const PricePoint& b) {
        if (a.date.isValid() != b.date.isValid()) return a.date.isValid();
        if (a.date != b.date) return a.date < b.date;
        return QString::compare(a.file, b.file, Qt::CaseInsensitive) < 0;
    });
    return points;
}

}  // namespace kx
