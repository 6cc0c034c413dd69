// Lists of items as spreadsheets: XLSX workbooks, CSV files, and the tab-separated text and HTML table a
// clipboard offers, so that pasted rows land in columns.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include "kxview/kxview_core_export.h"

namespace kx {

/// A column of a sheet.
struct SheetColumn {
    QString caption;
    /// The width on screen, in twips.
    int widthTwips = 1000;
    /// Cells that read as a number are written as numbers (prices); others stay text (codes keep their
    /// leading zeros).
    bool numeric = false;
};

/// A row of a sheet.
struct SheetRow {
    QStringList cells;     ///< one text per column
    int outlineLevel = 0;  ///< 0 for an item, 1 and more for the rows grouped below it
    bool hidden = false;   ///< folded away under a collapsed row
    bool bold = false;
};

/// Rows below a header of column captions.
struct SheetTable {
    QString title;  ///< the worksheet's name
    QList<SheetColumn> columns;
    QList<SheetRow> rows;
};

/// The number a cell of a numeric column holds; none for text that is no plain finite number, which
/// stays text.
KXVIEW_CORE_EXPORT std::optional<double> sheetNumber(const QString& text);
/// A worksheet name spreadsheet programs accept for `title`: at most 31 characters, none of []:*?/\.
KXVIEW_CORE_EXPORT QString sheetName(const QString& title);

/// Writes `table` as an XLSX workbook of one sheet to `path`: the header row bold and frozen, column
/// widths as on screen, numbers as numbers, outline levels (and folded rows) as the list shows them. The
/// workbook is written under a temporary name beside `path` and renamed when complete, so a failure leaves
/// no partial file. Throws kx::FileSystemError saying why it failed.
KXVIEW_CORE_EXPORT void writeXlsx(const QString& path, const SheetTable& table);
/// Writes `table` as CSV (UTF-8 with a byte-order mark, which spreadsheet programs need to read Chinese
/// text; fields quoted as RFC 4180 says; CRLF line ends), the same way. Throws kx::FileSystemError.
KXVIEW_CORE_EXPORT void writeCsv(const QString& path, const SheetTable& table);
/// The CSV text writeCsv writes, without the byte-order mark.
KXVIEW_CORE_EXPORT QString toCsv(const SheetTable& table);
/// The rows as tab-separated text (header first), one line per row; tabs and line breaks inside a cell
/// become blanks, so each cell stays one cell when pasted.
KXVIEW_CORE_EXPORT QString toTabSeparated(const SheetTable& table);
/// The rows as an HTML table (header cells in <th>), numbers right-aligned, for pasting with formats.
KXVIEW_CORE_EXPORT QString toHtmlTable(const SheetTable& table);

}  // namespace kx
