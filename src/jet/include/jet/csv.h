// CSV in the form `jet export` writes (RFC 4180, the value forms of jet/format_value.h), read back for
// imports: records, values by column type, and tables described by a header of "Name:type" cells, streamed
// so that imports of any size hold a bounded part of them.
#pragma once

#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/status.h"
#include "jet/value.h"
#include "jet/writer.h"

namespace jet {

/// One field of a CSV record; `quoted` tells an empty quoted field (empty text) from an empty one (Null).
struct CsvField {
    std::string text;
    bool quoted = false;
};

/// Reads CSV (RFC 4180) record by record from a stream or a text, holding only a buffer of it.
class CsvReader {
public:
    /// Reads `in`, which must outlive the reader.
    explicit CsvReader(std::istream& in);
    /// Reads `text`, which must outlive the reader.
    explicit CsvReader(std::string_view text);
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    /// Reads the next record into `record`; false when the input has no more. An unterminated quoted
    /// field or text after a closing quote is an InvalidArgument error.
    Result<bool> next(std::vector<CsvField>& record);

private:
    int peek();
    int get();
    bool refill();

    std::istream* m_in = nullptr;
    std::string m_buffer;
    std::string_view m_text;
    size_t m_at = 0;
};

/// Splits CSV text into records of fields.
Result<std::vector<std::vector<CsvField>>> parseCsvRecords(std::string_view text);

/// Parses one field in the form the CSV export writes for a column of `type` (scale for Numeric).
/// An empty unquoted field is Null.
Result<Value> parseCsvValue(const CsvField& field, ColumnType type, uint8_t scale = 0);

/// The column a header cell "Name:type" describes: byte, int, long, single, double, currency, datetime,
/// bool, guid, text(N), memo, ole, binary(N) or autonumber; a bare name is text(255).
Result<ColumnSpec> columnFromHeaderCell(std::string_view cell);

/// A table described by CSV whose first record is a header of "Name:type" cells, and its rows read batch
/// by batch, so that a table of any size passes through a bounded amount of memory.
class CsvTableReader {
public:
    /// Reads the header from `csv` and describes table `name`, with a primary key on column `primaryKey`
    /// (when not empty) and a one-column index named after each column of `indexed`.
    static Result<std::unique_ptr<CsvTableReader>> start(std::unique_ptr<CsvReader> csv,
                                                         const std::string& name,
                                                         const std::string& primaryKey,
                                                         const std::vector<std::string>& indexed);
    /// The table the header describes.
    const TableSpec& spec() const { return m_spec; }
    /// Up to `count` more rows; none at the end. Errors name the record and column.
    Result<std::vector<Row>> nextRows(size_t count);

private:
    CsvTableReader(std::unique_ptr<CsvReader> csv, TableSpec spec)
        : m_csv(std::move(csv)), m_spec(std::move(spec)) {}

    std::unique_ptr<CsvReader> m_csv;
    TableSpec m_spec;
    size_t m_record = 1;  // records read, the header included
};

}  // namespace jet
