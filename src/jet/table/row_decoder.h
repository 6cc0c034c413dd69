// Rows split into their null mask, fixed area and variable fields, and column values decoded from them.
#pragma once

#include <string>

#include "core/text.h"
#include "jet/status.h"
#include "jet/value.h"
#include "table/long_values.h"
#include "table/row_store.h"

namespace jet {

/// Decodes the rows and text of one database.
class RowDecoder {
public:
    /// `codePageText` decodes Jet 3 text (null for Jet 4, whose text is UCS-2).
    RowDecoder(const FormatLayout& layout, const CodePageDecoder* codePageText, LongValueReader& longValues)
        : m_layout(layout), m_codePageText(codePageText), m_longValues(longValues) {}

    /// Splits a row into its null mask, fixed area and variable fields (fills row.layout).
    Status parseRow(const TableDef& table, RowImage& row) const;
    /// Decodes one column of a parsed row.
    Result<Value> decodeColumn(const ColumnDef& column, const RowImage& row) const;
    /// The same into `into`, reusing the storage of a text it holds: for callers that decode many rows.
    Status decodeColumn(const ColumnDef& column, const RowImage& row, Value& into) const;
    /// Text of a Text or Memo value, or of a stored name, as UTF-8.
    std::string decodeText(ByteView bytes) const;
    /// The same into `into`, reusing the storage of a string it holds.
    void decodeText(ByteView bytes, Value& into) const;

private:
    const FormatLayout& m_layout;
    const CodePageDecoder* m_codePageText;
    LongValueReader& m_longValues;
};

}  // namespace jet
