// The item grid: a table view over a GridModel that shows the header row as its header, the fixed column
// as a strip of outline buttons, hides the rows under collapsed nodes, merges equal cells of merge rows and
// reports the current cell, clicks and keys.
#pragma once

#include <QTableView>
#include <functional>
#include <memory>
#include "kxview/kxview_export.h"

#include "widgets/controls/gridmodel.h"

namespace kx {

/// The outline grid widget. Its content lives in cells(); this class adds the current cell and the
/// notifications the browser handles.
class KXVIEW_EXPORT OutlineGrid : public QTableView {
    Q_OBJECT
    Q_PROPERTY(int Row READ Row WRITE setRow NOTIFY rowColChanged)
    Q_PROPERTY(int Col READ Col WRITE setCol NOTIFY rowColChanged)
    Q_PROPERTY(int RowHeightMin READ RowHeightMin WRITE setRowHeightMin)

public:
    explicit OutlineGrid(QWidget* parent = nullptr);
    ~OutlineGrid() override;

    /// The grid's content (owned by the grid).
    GridModel& cells() const;

    /// The current grid row; 0 (the header row) when no data row is current.
    int Row() const;
    /// Makes `row` current (0: none); kx::ControlError when out of range. The current column moves to the
    /// first visible one when it is out of sight.
    void setRow(int row);
    /// The current column.
    int Col() const;
    void setCol(int col);
    /// Minimum height of every row, in twips.
    int RowHeightMin() const;
    void setRowHeightMin(int twips);

    /// The outline button of grid row `row` in the fixed column's coordinates; empty when the row has none.
    QRect outlineButtonRect(int row) const;
    /// Does nothing: typing does not search the grid (it would also land on rows hidden under collapsed
    /// nodes).
    void keyboardSearch(const QString& search) override;

    /// Hides every data row for which `passes` returns false, as rows under collapsed nodes are hidden;
    /// null shows them again. The current row moves to the nearest shown row above it (or none).
    void setRowFilter(std::function<bool(int row)> passes);
    /// Whether grid row `row` is on screen: neither under a collapsed node nor filtered out.
    bool isRowShown(int row) const;
    /// The number of data rows on screen.
    int shownRowCount() const;
    /// Column `col` also takes the viewport's width that the other columns leave free (-1: none). Its
    /// width in the cells stays as set and is the least it gets.
    void setFillColumn(int col);
    /// Column `col` is at least as wide as the widest text of its rows that merge no cells (-1: none), so
    /// that no text of it is cut short.
    void setFitColumn(int col);
    /// Whether a cell whose text is cut short shows its whole text as a tooltip.
    void setElidedTextTips(bool on);
    /// A text shown in the middle of the grid while no data row is on screen (empty: none).
    void setPlaceholderText(const QString& text);
    QString placeholderText() const;

signals:
    /// The current row or column changed (by the user or by the program).
    void rowColChanged();
    /// The user clicked a data cell; Row and Col name it.
    void cellClicked();
    /// The user double-clicked a data row; Row names it.
    void cellDoubleClicked();
    /// A key was pressed, before the grid's own handling.
    void keyDown(int key, Qt::KeyboardModifiers modifiers);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
