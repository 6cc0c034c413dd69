// XLSX workbooks of one sheet, written by hand: the package's XML parts serialised in one pass over the
// rows (text as inline strings, so no string table has to be gathered first) and zipped with libzip.
#pragma once

#include <QString>
#include <string>
#include "core/io/spreadsheet.h"
#include "kxview/kxview_core_export.h"

namespace kx {

/// The worksheet part (xl/worksheets/sheet1.xml) holding `table`: the header row bold and frozen, the
/// column widths, numbers as numbers and text as inline strings (characters XML 1.0 cannot hold are
/// dropped), each row's outline level and whether it is folded away.
KXVIEW_CORE_EXPORT std::string worksheetXml(const SheetTable& table);

/// Writes `table` as an XLSX package to `file`, which is created or replaced. Returns why it failed, or
/// an empty text when the package is complete.
KXVIEW_CORE_EXPORT QString writeXlsxPackage(const QString& file, const SheetTable& table);

}  // namespace kx
