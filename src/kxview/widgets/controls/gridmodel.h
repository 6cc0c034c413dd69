// The item grid's content: a matrix of text below one header row and beside one fixed column, with
// outline rows, per-cell formats and per-column formats.
//
// Grid coordinates count the header row (row 0) and the fixed column (column 0), as the browser's code
// does; the Qt model exposes the data rows (grid row r is model row r - 1) and every column, and gives the
// header row as horizontal header data.
//
// Outline: a row with IsSubtotal set is a node at level RowOutlineLevel. Its descendants are the rows
// that follow it up to the next node whose level is not greater than its own; plain rows belong to the
// node above them. A node whose IsCollapsed is OutlineCollapsed hides its descendants.
#pragma once

#include <QAbstractItemModel>
#include <QBitArray>
#include <QColor>
#include <QPixmap>
#include <memory>
#include <vector>
#include "kxview/kxview_export.h"

namespace kx {

/// IsCollapsed values of an outline node.
enum OutlineState : qint16 { OutlineExpanded = 0, OutlineCollapsed = 2 };

/// The grid's rows, columns and formats as a table model.
class KXVIEW_EXPORT GridModel : public QAbstractItemModel {
    Q_OBJECT

public:
    /// Rows and columns that are not data: the header row and the fixed column.
    static constexpr int FixedRows = 1;
    static constexpr int FixedCols = 1;
    /// Width of a column nobody has sized, in twips.
    static constexpr int DefaultColWidth = 1000;

    explicit GridModel(QObject* parent = nullptr);
    ~GridModel() override;

    /// Number of rows, the header row included (at least 1). Rows added are empty; rows cut are gone.
    int Rows() const;
    void setRows(int rows);
    /// Number of columns, the fixed column included (at least 1).
    int Cols() const;
    void setCols(int cols);

    /// Throws kx::ControlError unless the cell (`row`, `col`) exists.
    void checkCell(int row, int col) const;

    /// Text of a cell; every index is checked (kx::ControlError when out of range).
    QString TextMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString& text);
    /// Inserts a data row at `index` (appends for -1) whose cells from column 0 on are the tab-separated
    /// parts of `item`.
    void AddItem(const QString& item, int index = -1);

    /// Whether the row is an outline node.
    bool IsSubtotal(int row) const;
    void setIsSubtotal(int row, bool subtotal);
    /// Outline level of the row (0 for top-level nodes).
    int RowOutlineLevel(int row) const;
    void setRowOutlineLevel(int row, int level);
    /// OutlineExpanded or OutlineCollapsed; other values are refused.
    qint16 IsCollapsed(int row) const;
    void setIsCollapsed(int row, qint16 state);
    /// A value the caller keeps with the row (empty for a new row).
    QVariant RowData(int row) const;
    void setRowData(int row, const QVariant& data);
    /// Whether adjacent cells of the row with equal text show as one cell.
    bool MergeRow(int row) const;
    void setMergeRow(int row, bool merge);

    /// Cell formats; an invalid colour means the view's default.
    QColor cellForeColor(int row, int col) const;
    QColor cellBackColor(int row, int col) const;
    bool cellFontBold(int row, int col) const;
    /// Sets a format for the cells `firstCol` to `lastCol` of `row`.
    void setCellForeColor(int row, int firstCol, int lastCol, const QColor& color);
    void setCellBackColor(int row, int firstCol, int lastCol, const QColor& color);
    void setCellFontBold(int row, int firstCol, int lastCol, bool bold);

    /// Column width in twips; 0 keeps the column out of sight.
    int ColWidth(int col) const;
    void setColWidth(int col, int twips);
    /// Horizontal alignment of a column's cells (always vertically centred).
    Qt::Alignment ColAlignment(int col) const;
    void setColAlignment(int col, Qt::Alignment alignment);
    /// A text the caller keeps with a column.
    QString ColKey(int col) const;
    void setColKey(int col, const QString& key);
    /// A picture shown centred in the header cell of a column (a null pixmap shows none).
    QPixmap headerPicture(int col) const;
    void setHeaderPicture(int col, const QPixmap& picture);

    /// True when `row` is a node and the row below it is one of its descendants.
    bool hasChildRows(int row) const;
    /// Bit r is set when grid row r is hidden under a collapsed node.
    QBitArray hiddenRows() const;
    /// Whether rows `first`, `first` + 1, ... are hidden under a collapsed node, up to the next top-level
    /// node: every row whose state an insertion, removal or outline change at `first` can change. Costs the
    /// rows of that stretch and the nodes above `first` in its top-level node, not the whole grid.
    std::vector<bool> hiddenRowsFrom(int first) const;
    /// True when some node is collapsed.
    bool hasCollapsedNodes() const;

    /// Groups many changes into one model reset, so views do not follow every single row. Nested
    /// batches join the outermost.
    class Batch {
    public:
        explicit Batch(GridModel& model);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        GridModel& m_model;
    };

    /// Gathers the changes of item cells made while it lives into one dataChanged over the block they
    /// span, announced when the outermost ends, so that a fill of a whole column costs views one signal, not
    /// one per cell. Changes of the grid's shape meanwhile announce what was gathered before them.
    class CellChanges {
    public:
        explicit CellChanges(GridModel& model);
        ~CellChanges();
        CellChanges(const CellChanges&) = delete;
        CellChanges& operator=(const CellChanges&) = delete;

    private:
        GridModel& m_model;
    };

    /// The grid row of a model index.
    static int gridRow(const QModelIndex& index) { return index.row() + FixedRows; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    /// The width of column `col` changed.
    void colWidthChanged(int col);
    /// The outline (node flag, level or collapsed state) of `row` changed.
    void outlineChanged(int row);
    /// The merge permission of `row` changed.
    void mergeChanged(int row);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
