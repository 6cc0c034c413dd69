// The grid's rows as a spreadsheet: exported to an XLSX or CSV file the user names, or copied to the
// clipboard as tab-separated text and an HTML table.
#pragma once

#include <QList>
#include <QString>

#include "core/io/spreadsheet.h"

class QWidget;

namespace kx {

class OutlineGrid;

/// The rows `rows` of `grid` (all shown rows when empty) with the visible item and price columns.
SheetTable gridSheet(const OutlineGrid& grid, const QString& title, const QList<int>& rows = {});
/// The rows of `grid` the user selected, in order (the current row when none is selected).
QList<int> selectedRows(const OutlineGrid& grid);

/// The file formats of the export.
enum class SheetFormat { Xlsx, Csv };

/// Asks for a file name (the dialog "exportFileDialog") and writes the shown rows of `grid` into it;
/// a failure is shown in a box over `parent` and leaves no file. True when a file was written.
bool exportGrid(const OutlineGrid& grid, SheetFormat format, const QString& title, QWidget* parent);
/// Puts `rows` of `grid` on the clipboard as tab-separated text and an HTML table.
void copyRows(const OutlineGrid& grid, const QList<int>& rows);

}  // namespace kx
