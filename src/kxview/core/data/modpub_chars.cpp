#include "core/data/modpub_chars.h"

namespace modPub_Chars {
namespace {

/// Walks the fields of `text`; calls `onField(start, end)` for each until it returns false.
/// Returns the number of fields visited.
template <typename OnField>
qint16 scanFields(const QString& text, const QString& separator, OnField onField) {
    if (text.isEmpty() || separator.isEmpty()) return 0;
    const QChar sep = separator.front();
    QString t = text;
    if (t.back() != sep) t += sep;  // every field, the last included, ends with a separator
    qint16 count = 0;
    qsizetype fieldStart = 0;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] == QLatin1Char('\'')) {
            qsizetype close = t.indexOf(QLatin1Char('\''), i + 1);
            if (close >= 0) i = close;  // separators inside the quotes do not count
            continue;
        }
        if (t[i] != sep) continue;
        ++count;
        if (!onField(t, fieldStart, i)) return count;
        fieldStart = i + 1;
    }
    return count;
}

constexpr qint32 kKilo = 1024;
constexpr qint32 kMega = 1024 * 1024;
constexpr qint32 kGigaFrom = 512 * kMega;  // sizes from half a gigabyte on are shown in G

/// `units` / 1024 with one decimal, rounded half away from zero and without a ".0" ending. The
/// division is exact in binary, so the rounding is decided on the exact value.
QString tenthsOf1024(qint64 units) {
    const qint64 tenths = (units * 10 + kKilo / 2) / kKilo;
    QString text = QString::number(tenths / 10);
    if (tenths % 10 != 0) text += QLatin1Char('.') + QString::number(tenths % 10);
    return text;
}

}  // namespace

qint16 CountFields(const QString& text, const QString& separator) {
    return scanFields(text, separator, [](const QString&, qsizetype, qsizetype) { return true; });
}

QString GetField(const QString& text, const QString& separator, qint16 index) {
    QString result;
    qint16 seen = 0;
    scanFields(text, separator, [&](const QString& t, qsizetype start, qsizetype end) {
        if (++seen != index) return true;
        result = t.mid(start, end - start);
        return false;
    });
    return result;
}

QString FormatByteSize(qint32 Bytes) {
    if (Bytes < kKilo) return QString::number(Bytes) + QLatin1Char('b');
    if (Bytes < kMega) return QString::number(Bytes / kKilo) + QLatin1Char('k');
    if (Bytes < kGigaFrom) return tenthsOf1024(Bytes / kKilo) + QLatin1Char('M');
    return tenthsOf1024(Bytes / kMega) + QLatin1Char('G');
}

}  // namespace modPub_Chars
