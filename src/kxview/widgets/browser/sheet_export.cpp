#include "widgets/browser/sheet_export.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QMimeData>

#include "core/services/logging.h"
#include "core/services/messages.h"
#include "widgets/browser/item_rows.h"
#include "widgets/browser/price_columns.h"
#include "widgets/controls/outlinegrid.h"
#include "widgets/services/dialogs.h"

namespace kx {
namespace {

/// The columns a user sees: the item columns with a width, then the price columns.
QList<int> visibleColumns(const GridModel& g) {
    QList<int> cols;
    for (int c = GridModel::FixedCols; c < g.Cols(); ++c) {
        if (g.ColWidth(c) > 0) cols << c;
    }
    return cols;
}

/// How deep `row` lies below its item: 0 for an item, 1 for a conversion or a related quota, and so on.
int outlineLevelOf(const GridModel& g, int row) {
    return g.IsSubtotal(row) ? g.RowOutlineLevel(row) : 0;
}

}  // namespace

SheetTable gridSheet(const OutlineGrid& grid, const QString& title, const QList<int>& rows) {
    const GridModel& g = grid.cells();
    SheetTable table;
    table.title = title;
    const QList<int> cols = visibleColumns(g);
    for (const int c : cols) {
        table.columns.append(
            {g.TextMatrix(0, c), grid.columnWidth(c) * 15, c >= PriceColumns::FirstPriceCol});
    }
    QList<int> chosen = rows;
    if (chosen.isEmpty()) {
        // Rows folded under a collapsed item go along, hidden as on screen; filtered-out rows stay behind.
        const QBitArray folded = g.hiddenRows();
        for (int r = GridModel::FixedRows; r < g.Rows(); ++r) {
            if (grid.isRowShown(r) || folded.testBit(r)) chosen << r;
        }
    }
    const QBitArray folded = g.hiddenRows();
    for (const int r : chosen) {
        SheetRow row;
        for (const int c : cols) row.cells << g.TextMatrix(r, c);
        row.outlineLevel = outlineLevelOf(g, r);
        row.hidden = rows.isEmpty() && folded.testBit(r);
        row.bold = g.cellFontBold(r, colOf(HCol_F::Code));
        table.rows.append(row);
    }
    return table;
}

QList<int> selectedRows(const OutlineGrid& grid) {
    QList<int> rows;
    for (const QModelIndex& index : grid.selectionModel()->selectedRows()) rows << GridModel::gridRow(index);
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty() && grid.Row() >= GridModel::FixedRows) rows << grid.Row();
    return rows;
}

bool exportGrid(const OutlineGrid& grid, SheetFormat format, const QString& title, QWidget* parent) {
    const bool xlsx = format == SheetFormat::Xlsx;
    QFileDialog dialog(parent, QStringLiteral("导出列表"));
    dialog.setObjectName(QStringLiteral("exportFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(xlsx ? QStringLiteral("XLSX 工作簿 (*.xlsx)") : QStringLiteral("CSV 文件 (*.csv)"));
    dialog.setDefaultSuffix(xlsx ? QStringLiteral("xlsx") : QStringLiteral("csv"));
    dialog.selectFile(title);
    if (dialogService().exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    const QString file = dialog.selectedFiles().constFirst();
    try {
        const SheetTable table = gridSheet(grid, title);
        xlsx ? writeXlsx(file, table) : writeCsv(file, table);
        return true;
    } catch (const std::exception& e) {
        qCWarning(lcKxView) << "export failed:" << e.what();
        showWarning(QStringLiteral("导出失败：") + QString::fromUtf8(e.what()), QStringLiteral("提示"),
                    parent);
        return false;
    }
}

void copyRows(const OutlineGrid& grid, const QList<int>& rows) {
    if (rows.isEmpty()) return;
    const SheetTable table = gridSheet(grid, QString(), rows);
    auto* mime = new QMimeData;
    mime->setText(toTabSeparated(table));
    mime->setHtml(toHtmlTable(table));
    QApplication::clipboard()->setMimeData(mime);
}

}  // namespace kx
