// Lookups of one row per listed item ("SELECT * FROM <table> WHERE <field>=" followed by the item's ID),
// answered from the table read once instead of a statement per item.
#pragma once

#include <QHash>
#include <QString>
#include <memory>
#include <optional>
#include "kxview/kxview_core_export.h"

#include "jet/file.h"
#include "jet/sql.h"

namespace kx {

class Database;

/// The tables the browser's fills look rows up in (a price file's prices, a library's errata), each read
/// whole once and kept while its file is unchanged. Every answer is what the statement
/// "SELECT * FROM <table> WHERE <field>=" & constant gives: its first row in the statement's order, with
/// duplicates and Nulls as they stand. A commit to the file by anyone is seen at the next fill. Where the
/// table cannot be read that way, or the constant is no plain whole number, the statement itself runs, so
/// that its rows or its error stay as they were.
class KXVIEW_CORE_EXPORT TableLookups {
public:
    /// The lookups of one fill in one open database; it must not outlive the database.
    class KXVIEW_CORE_EXPORT Fill {
    public:
        /// The first row's `valueField` as text ("" + value), or nothing when the statement gives no row.
        /// Throws DbError as the statement or the field's reading would.
        std::optional<QString> firstText(const QString& constant, const QString& valueField);
        /// The first row's `valueField` as the statement's record holds it, for the ID `id` written as a
        /// whole number; nothing when the statement gives no row. Throws as firstText does.
        std::optional<jet::Value> firstValue(qint32 id, const QString& valueField);
        /// True when the statement gives a row.
        bool any(const QString& constant);
        /// True when plain IDs are answered from the table read whole rather than by their statements.
        bool readsKeptRows() const { return m_rows != nullptr; }

    private:
        friend class TableLookups;
        Fill(Database& db, const QString& table, const QString& field,
             std::shared_ptr<const jet::sql::RowsByField> rows)
            : m_db(db), m_table(table), m_field(field), m_rows(std::move(rows)) {}
        // The first row for `id` from the rows read whole; nullopt when the statement must answer.
        std::optional<jet::sql::RowSpan> firstKept(qint64 id) const;
        std::optional<jet::sql::RowSpan> firstKept(const QString& constant) const;
        // The first row's `valueField`: the kept row's when there is one, else that of the statement for
        // the constant `constantText()` writes.
        template <typename ConstantText>
        std::optional<jet::Value> firstValueOf(std::optional<jet::sql::RowSpan> kept,
                                               ConstantText constantText, const QString& valueField);
        QString statement(const QString& constant) const;
        // The position of `field` among the kept rows' columns, by name without regard to case.
        std::optional<size_t> columnOf(const QString& field);

        Database& m_db;
        QString m_table;
        QString m_field;
        std::shared_ptr<const jet::sql::RowsByField> m_rows;  // null: every lookup runs the statement
        QString m_lastField;                                  // the field columnOf found last
        std::optional<size_t> m_lastColumn;
    };

    /// Starts the lookups of one fill in `table` by `field` of `db`. A caller that holds the file's reads
    /// (HeldReads) for the whole fill has every lookup see the state its listing saw.
    Fill begin(Database& db, const QString& table, const QString& field);

    /// Whether tables are read whole (the default); off, every lookup runs its statement.
    void setReadsWholeTables(bool on) { m_readsWholeTables = on; }

private:
    struct Kept {
        jet::FileStamp stamp;
        std::shared_ptr<const jet::sql::RowsByField> rows;
    };
    QHash<QString, Kept> m_kept;  // by file, table and field
    bool m_readsWholeTables = true;
};

}  // namespace kx
