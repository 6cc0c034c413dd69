// XLSX workbooks of one sheet, written by hand: the package's XML parts serialised in one pass over the
// rows (text as inline strings, so no string table has to be gathered first) and zipped with libzip.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>
#include "core/io/spreadsheet.h"
#include "kxview/kxview_core_export.h"

namespace kx {

/// The worksheet part (xl/worksheets/sheet1.xml) holding `table`: the header row bold and frozen, the
/// column widths, numbers as numbers and text as inline strings (characters XML 1.0 cannot hold are
/// dropped), each row's outline level and whether it is folded away.
KXVIEW_CORE_EXPORT std::string worksheetXml(const SheetTable& table);

/// An XLSX package's bytes, or why it could not be made.
struct XlsxPackage {
    QByteArray bytes;  ///< the whole package; empty when it failed
    QString failure;   ///< why it failed; empty when `bytes` is complete
};

/// `table` as an XLSX package, made in memory.
KXVIEW_CORE_EXPORT XlsxPackage xlsxPackage(const SheetTable& table);

}  // namespace kx
