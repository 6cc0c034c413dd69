// The item grid: a table view over a GridModel that shows the header row as its header, the fixed column
// as a strip of outline buttons, hides the rows under collapsed nodes, merges equal cells of merge rows and
// reports the current cell, clicks and keys.
#pragma once

#include <QTableView>
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

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
