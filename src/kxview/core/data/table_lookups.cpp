#include "core/data/table_lookups.h"

#include "core/db/dbengine.h"

namespace kx {
namespace {

/// A constant the SQL reads as the whole number its text shows, and that fits 32 bits: the IDs the fills
/// look up. Anything else is left to the statement.
std::optional<qint64> plainWholeNumber(const QString& constant) {
    const qsizetype sign = constant.startsWith(QLatin1Char('-')) ? 1 : 0;
    const qsizetype digits = constant.size() - sign;
    if (digits < 1 || digits > 9) return std::nullopt;
    qint64 n = 0;
    for (qsizetype i = sign; i < constant.size(); ++i) {
        const char16_t c = constant[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        n = n * 10 + (c - u'0');
    }
    return sign ? -n : n;
}

}  // namespace

TableLookups::Fill TableLookups::begin(Database& db, const QString& table, const QString& field) {
    if (!m_readsWholeTables) return Fill(db, table, field, nullptr);
    const QString key = db.FileName() + QLatin1Char('\n') + table + QLatin1Char('\n') + field;
    try {
        const jet::FileStamp stamp = db.ChangeStamp();
        auto kept = m_kept.find(key);
        if (kept != m_kept.end() && kept->stamp == stamp) return Fill(db, table, field, kept->rows);
        m_kept.remove(key);
        auto rows = db.ReadRowsByField(table, field);
        m_kept.insert(key, Kept{stamp, rows});
        return Fill(db, table, field, std::move(rows));
    } catch (const DbError&) {
        // A missing table or field, or a field that cannot group rows: the statements say what they say.
        return Fill(db, table, field, nullptr);
    }
}

QString TableLookups::Fill::statement(const QString& constant) const {
    return QStringLiteral("SELECT * FROM ") + m_table + QStringLiteral(" WHERE ") + m_field +
           QLatin1Char('=') + constant;
}

std::optional<jet::sql::RowSpan> TableLookups::Fill::firstKept(qint64 id) const {
    if (!m_rows) return std::nullopt;
    return m_rows->first(jet::Value(static_cast<int64_t>(id)));
}

std::optional<jet::sql::RowSpan> TableLookups::Fill::firstKept(const QString& constant) const {
    const std::optional<qint64> number = plainWholeNumber(constant);
    if (!number) return std::nullopt;
    return firstKept(*number);
}

template <typename ConstantText>
std::optional<jet::Value> TableLookups::Fill::firstValueOf(std::optional<jet::sql::RowSpan> kept,
                                                           ConstantText constantText,
                                                           const QString& valueField) {
    if (kept) {
        if (kept->empty()) return std::nullopt;
        if (std::optional<size_t> column = columnOf(valueField)) return (*kept)[*column];
        // No such field: the statement's record gives the error of reading it.
    }
    auto rs = m_db.OpenRecordset(statement(constantText()), dbOpenDynaset);
    if (rs->RecordCount() == 0) return std::nullopt;
    return rs->RawValue(valueField);
}

std::optional<QString> TableLookups::Fill::firstText(const QString& constant, const QString& valueField) {
    std::optional<jet::Value> value = firstValueOf(
        firstKept(constant), [&] { return constant; }, valueField);
    if (!value) return std::nullopt;
    return valueText(*value);
}

std::optional<jet::Value> TableLookups::Fill::firstValue(qint32 id, const QString& valueField) {
    return firstValueOf(
        firstKept(id), [id] { return QString::number(id); }, valueField);
}

std::optional<size_t> TableLookups::Fill::columnOf(const QString& field) {
    // A fill asks for one field throughout, mostly through one string.
    if (!sameText(field, m_lastField)) {
        m_lastField = field;
        m_lastColumn.reset();
        const std::vector<std::string>& columns = m_rows->columns();
        for (size_t c = 0; c < columns.size() && !m_lastColumn; ++c)
            if (QString::compare(QString::fromStdString(columns[c]), field, Qt::CaseInsensitive) == 0)
                m_lastColumn = c;
    }
    return m_lastColumn;
}

bool TableLookups::Fill::any(const QString& constant) {
    if (std::optional<jet::sql::RowSpan> row = firstKept(constant)) return !row->empty();
    return m_db.OpenRecordset(statement(constant), dbOpenDynaset)->RecordCount() > 0;
}

}  // namespace kx
