#include "widgets/controls/gridmodel.h"

#include <QBrush>
#include <QFont>
#include <QRect>
#include <limits>
#include <utility>
#include <vector>

#include "kxview/errors.h"

namespace kx {
namespace {

struct CellFormat {
    QColor fore;
    QColor back;
    bool bold = false;
};

struct RowRecord {
    QList<QString> text;        // one entry per column
    QList<CellFormat> formats;  // empty until a cell of the row gets a format, then one per column
    QVariant data;
    int level = 0;
    qint16 collapsed = OutlineExpanded;
    bool subtotal = false;
    bool merge = false;
};

/// Follows the outline down the rows: the chain of nodes that enclose the next row, and how many of them
/// are collapsed.
class OutlineWalk {
public:
    /// Adds a node that encloses the rows to come (outermost first).
    void enter(const RowRecord& node) {
        const bool collapsed = node.collapsed == OutlineCollapsed;
        m_chain.push_back({node.level, collapsed});
        m_collapsedInChain += collapsed;
    }
    /// Steps onto row `r`: true when a collapsed node encloses it.
    bool step(const RowRecord& r) {
        if (r.subtotal) {
            while (!m_chain.empty() && m_chain.back().level >= r.level) {
                m_collapsedInChain -= m_chain.back().collapsed;
                m_chain.pop_back();
            }
        }
        const bool hidden = m_collapsedInChain > 0;
        if (r.subtotal) enter(r);
        return hidden;
    }

private:
    struct OpenNode {
        int level;
        bool collapsed;
    };
    std::vector<OpenNode> m_chain;
    int m_collapsedInChain = 0;
};

struct ColumnFormat {
    int width = GridModel::DefaultColWidth;
    Qt::Alignment alignment = Qt::AlignLeft;
    QString key;
    QPixmap picture;
};

}  // namespace

struct GridModel::Private {
    explicit Private(GridModel& model) : q(model) {}

    GridModel& q;
    // Rows are held by pointer: inserting one in the middle of a long list then moves pointers only.
    std::vector<std::unique_ptr<RowRecord>> rows;
    std::vector<ColumnFormat> columns;
    int collapsedNodes = 0;  // rows whose IsCollapsed is OutlineCollapsed
    int batchDepth = 0;
    int gatherDepth = 0;  // CellChanges alive
    QRect gathered;       // the item cells changed under them, not yet announced (x: column, y: grid row)

    bool notifying() const { return batchDepth == 0; }

    /// notifying(), after announcing the cell changes gathered so far: a change of the grid's shape moves
    /// the rows and columns they name, so they are announced while those still hold.
    bool announcingShape() {
        announceGathered();
        return notifying();
    }

    void announceGathered() {
        if (gathered.isNull()) return;
        const QRect cells = std::exchange(gathered, QRect());
        emit q.dataChanged(q.index(cells.top() - FixedRows, cells.left()),
                           q.index(cells.bottom() - FixedRows, cells.right()));
    }

    std::unique_ptr<RowRecord> newRow() const {
        auto r = std::make_unique<RowRecord>();
        r->text.resize(static_cast<qsizetype>(columns.size()));
        return r;
    }

    void checkRow(int row) const {
        if (row < 0 || row >= static_cast<int>(rows.size()))
            throw ControlError("Subscript out of range: row " + std::to_string(row) + " of " +
                               std::to_string(rows.size()));
    }
    void checkCol(int col) const {
        if (col < 0 || col >= static_cast<int>(columns.size()))
            throw ControlError("Subscript out of range: column " + std::to_string(col) + " of " +
                               std::to_string(columns.size()));
    }
    void checkCell(int row, int col) const {
        checkRow(row);
        checkCol(col);
    }

    RowRecord& rowAt(int row) {
        checkRow(row);
        return *rows[static_cast<size_t>(row)];
    }
    const RowRecord& rowAt(int row) const {
        checkRow(row);
        return *rows[static_cast<size_t>(row)];
    }
    ColumnFormat& columnAt(int col) {
        checkCol(col);
        return columns[static_cast<size_t>(col)];
    }
    const ColumnFormat& columnAt(int col) const {
        checkCol(col);
        return columns[static_cast<size_t>(col)];
    }

    const CellFormat* formatAt(int row, int col) const {
        const RowRecord& r = rowAt(row);
        checkCol(col);
        return r.formats.isEmpty() ? nullptr : &r.formats[col];
    }

    /// Applies `change` to the formats of cells firstCol..lastCol of `row`, then tells the views.
    template <typename Change>
    void changeFormats(int row, int firstCol, int lastCol, Change change) {
        RowRecord& r = rowAt(row);
        checkCol(firstCol);
        checkCol(lastCol);
        if (r.formats.isEmpty()) r.formats.resize(static_cast<qsizetype>(columns.size()));
        for (int c = firstCol; c <= lastCol; ++c) change(r.formats[c]);
        cellsChanged(row, firstCol, lastCol);
    }

    /// Tells the views that cells of `row` changed: header data for row 0, item data otherwise.
    void cellsChanged(int row, int firstCol, int lastCol) {
        if (!notifying()) return;
        if (row < FixedRows) {
            emit q.headerDataChanged(Qt::Horizontal, firstCol, lastCol);
        } else if (gatherDepth > 0) {
            gathered |= QRect(QPoint(firstCol, row), QPoint(lastCol, row));
        } else {
            emit q.dataChanged(q.index(row - FixedRows, firstCol), q.index(row - FixedRows, lastCol));
        }
    }

    void outlineChanged(int row) {
        if (notifying()) emit q.outlineChanged(row);
    }

    void setCollapsed(RowRecord& r, qint16 state) {
        collapsedNodes += (state == OutlineCollapsed) - (r.collapsed == OutlineCollapsed);
        r.collapsed = state;
    }

    void insertRowAt(int row, std::unique_ptr<RowRecord> record) {
        if (announcingShape()) q.beginInsertRows({}, row - FixedRows, row - FixedRows);
        rows.insert(rows.begin() + row, std::move(record));
        if (notifying()) q.endInsertRows();
    }

    void removeRowsFrom(int first) {
        const int last = static_cast<int>(rows.size()) - 1;
        if (announcingShape()) q.beginRemoveRows({}, first - FixedRows, last - FixedRows);
        for (int r = first; r <= last; ++r)
            collapsedNodes -= rows[static_cast<size_t>(r)]->collapsed == OutlineCollapsed;
        rows.erase(rows.begin() + first, rows.end());
        if (notifying()) q.endRemoveRows();
    }

    /// A walk positioned above `row`: the nodes that enclose it, found upwards to its top-level node.
    OutlineWalk walkAbove(int row) const {
        std::vector<const RowRecord*> enclosing;  // innermost first
        int below = std::numeric_limits<int>::max();
        for (int r = row - 1; r >= FixedRows && below > 0; --r) {
            const RowRecord& rec = *rows[static_cast<size_t>(r)];
            if (!rec.subtotal || rec.level >= below) continue;  // not a node, or one closed before `row`
            enclosing.push_back(&rec);
            below = rec.level;
        }
        OutlineWalk walk;
        for (auto it = enclosing.rbegin(); it != enclosing.rend(); ++it) walk.enter(**it);
        return walk;
    }

    void resizeColumns(int cols) {
        for (const auto& r : rows) {
            r->text.resize(cols);
            if (!r->formats.isEmpty()) r->formats.resize(cols);
        }
        columns.resize(static_cast<size_t>(cols));
    }
};

GridModel::GridModel(QObject* parent) : QAbstractItemModel(parent), d(std::make_unique<Private>(*this)) {
    d->columns.resize(FixedCols);
    d->rows.push_back(d->newRow());
}

GridModel::~GridModel() = default;

int GridModel::Rows() const {
    return static_cast<int>(d->rows.size());
}

void GridModel::setRows(int rows) {
    if (rows < FixedRows) throw ControlError("Invalid property value: Rows " + std::to_string(rows));
    if (rows < Rows()) {
        d->removeRowsFrom(rows);
        return;
    }
    if (rows == Rows()) return;
    const int first = Rows();
    if (d->announcingShape()) beginInsertRows({}, first - FixedRows, rows - 1 - FixedRows);
    while (Rows() < rows) d->rows.push_back(d->newRow());
    if (d->notifying()) endInsertRows();
}

int GridModel::Cols() const {
    return static_cast<int>(d->columns.size());
}

void GridModel::setCols(int cols) {
    if (cols < FixedCols) throw ControlError("Invalid property value: Cols " + std::to_string(cols));
    const int old = Cols();
    if (cols == old) return;
    if (cols < old) {
        if (d->announcingShape()) beginRemoveColumns({}, cols, old - 1);
        d->resizeColumns(cols);
        if (d->notifying()) endRemoveColumns();
    } else {
        if (d->announcingShape()) beginInsertColumns({}, old, cols - 1);
        d->resizeColumns(cols);
        if (d->notifying()) endInsertColumns();
    }
}

void GridModel::checkCell(int row, int col) const {
    d->checkCell(row, col);
}

QString GridModel::TextMatrix(int row, int col) const {
    d->checkCell(row, col);
    return d->rows[static_cast<size_t>(row)]->text[col];
}

void GridModel::setTextMatrix(int row, int col, const QString& text) {
    d->checkCell(row, col);
    d->rows[static_cast<size_t>(row)]->text[col] = text;
    d->cellsChanged(row, col, col);
}

void GridModel::AddItem(const QString& item, int index) {
    if (index == -1) index = Rows();
    if (index < FixedRows || index > Rows())
        throw ControlError("Subscript out of range: AddItem at " + std::to_string(index));
    std::unique_ptr<RowRecord> record = d->newRow();
    const QStringList parts = item.split(QLatin1Char('\t'));
    for (int c = 0; c < parts.size() && c < Cols(); ++c) record->text[c] = parts[c];
    d->insertRowAt(index, std::move(record));
}

bool GridModel::IsSubtotal(int row) const {
    return d->rowAt(row).subtotal;
}

void GridModel::setIsSubtotal(int row, bool subtotal) {
    d->rowAt(row).subtotal = subtotal;
    d->outlineChanged(row);
}

int GridModel::RowOutlineLevel(int row) const {
    return d->rowAt(row).level;
}

void GridModel::setRowOutlineLevel(int row, int level) {
    if (level < 0) throw ControlError("Invalid property value: RowOutlineLevel " + std::to_string(level));
    d->rowAt(row).level = level;
    d->outlineChanged(row);
}

qint16 GridModel::IsCollapsed(int row) const {
    return d->rowAt(row).collapsed;
}

void GridModel::setIsCollapsed(int row, qint16 state) {
    if (state != OutlineExpanded && state != OutlineCollapsed)
        throw ControlError("Invalid property value: IsCollapsed " + std::to_string(state));
    d->setCollapsed(d->rowAt(row), state);
    d->outlineChanged(row);
}

QVariant GridModel::RowData(int row) const {
    return d->rowAt(row).data;
}

void GridModel::setRowData(int row, const QVariant& data) {
    d->rowAt(row).data = data;
}

bool GridModel::MergeRow(int row) const {
    return d->rowAt(row).merge;
}

void GridModel::setMergeRow(int row, bool merge) {
    d->rowAt(row).merge = merge;
    if (d->notifying()) emit mergeChanged(row);
}

QColor GridModel::cellForeColor(int row, int col) const {
    const CellFormat* f = d->formatAt(row, col);
    return f ? f->fore : QColor();
}

QColor GridModel::cellBackColor(int row, int col) const {
    const CellFormat* f = d->formatAt(row, col);
    return f ? f->back : QColor();
}

bool GridModel::cellFontBold(int row, int col) const {
    const CellFormat* f = d->formatAt(row, col);
    return f && f->bold;
}

void GridModel::setCellForeColor(int row, int firstCol, int lastCol, const QColor& color) {
    d->changeFormats(row, firstCol, lastCol, [&](CellFormat& f) { f.fore = color; });
}

void GridModel::setCellBackColor(int row, int firstCol, int lastCol, const QColor& color) {
    d->changeFormats(row, firstCol, lastCol, [&](CellFormat& f) { f.back = color; });
}

void GridModel::setCellFontBold(int row, int firstCol, int lastCol, bool bold) {
    d->changeFormats(row, firstCol, lastCol, [&](CellFormat& f) { f.bold = bold; });
}

int GridModel::ColWidth(int col) const {
    return d->columnAt(col).width;
}

void GridModel::setColWidth(int col, int twips) {
    if (twips < 0) throw ControlError("Invalid property value: ColWidth " + std::to_string(twips));
    d->columnAt(col).width = twips;
    if (d->notifying()) emit colWidthChanged(col);
}

Qt::Alignment GridModel::ColAlignment(int col) const {
    return d->columnAt(col).alignment;
}

void GridModel::setColAlignment(int col, Qt::Alignment alignment) {
    d->columnAt(col).alignment = alignment & Qt::AlignHorizontal_Mask;
    if (!d->notifying()) return;
    emit headerDataChanged(Qt::Horizontal, col, col);
    if (rowCount() > 0) emit dataChanged(index(0, col), index(rowCount() - 1, col), {Qt::TextAlignmentRole});
}

QString GridModel::ColKey(int col) const {
    return d->columnAt(col).key;
}

void GridModel::setColKey(int col, const QString& key) {
    d->columnAt(col).key = key;
}

QPixmap GridModel::headerPicture(int col) const {
    return d->columnAt(col).picture;
}

void GridModel::setHeaderPicture(int col, const QPixmap& picture) {
    d->columnAt(col).picture = picture;
    if (d->notifying()) emit headerDataChanged(Qt::Horizontal, col, col);
}

bool GridModel::hasChildRows(int row) const {
    const RowRecord& r = d->rowAt(row);
    if (!r.subtotal || row < FixedRows || row + 1 >= Rows()) return false;
    const RowRecord& next = *d->rows[static_cast<size_t>(row) + 1];
    return !next.subtotal || next.level > r.level;
}

QBitArray GridModel::hiddenRows() const {
    QBitArray hidden(Rows());
    if (d->collapsedNodes == 0) return hidden;
    OutlineWalk walk;
    for (int row = FixedRows; row < Rows(); ++row)
        hidden.setBit(row, walk.step(*d->rows[static_cast<size_t>(row)]));
    return hidden;
}

std::vector<bool> GridModel::hiddenRowsFrom(int first) const {
    std::vector<bool> hidden;
    if (first < FixedRows) return hidden;
    OutlineWalk walk = d->walkAbove(first);
    for (int row = first; row < Rows(); ++row) {
        const RowRecord& r = *d->rows[static_cast<size_t>(row)];
        if (row > first && r.subtotal && r.level == 0) break;  // a top-level node: never hidden, nor below it
        hidden.push_back(walk.step(r));
    }
    return hidden;
}

bool GridModel::hasCollapsedNodes() const {
    return d->collapsedNodes > 0;
}

GridModel::Batch::Batch(GridModel& model) : m_model(model) {
    if (m_model.d->batchDepth++ == 0) {
        m_model.d->announceGathered();
        m_model.beginResetModel();
    }
}

GridModel::Batch::~Batch() {
    if (--m_model.d->batchDepth == 0) m_model.endResetModel();
}

GridModel::CellChanges::CellChanges(GridModel& model) : m_model(model) {
    ++m_model.d->gatherDepth;
}

GridModel::CellChanges::~CellChanges() {
    if (--m_model.d->gatherDepth == 0) m_model.d->announceGathered();
}

QModelIndex GridModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) return {};
    return createIndex(row, column);
}

QModelIndex GridModel::parent(const QModelIndex&) const {
    return {};
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Rows() - FixedRows;
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Cols();
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const int row = gridRow(index);
    const int col = index.column();
    const RowRecord& r = *d->rows[static_cast<size_t>(row)];
    const CellFormat* f = r.formats.isEmpty() ? nullptr : &r.formats[col];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return r.text[col];
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(d->columns[static_cast<size_t>(col)].alignment | Qt::AlignVCenter);
        case Qt::ForegroundRole:
            if (f && f->fore.isValid()) return QBrush(f->fore);
            return {};
        case Qt::BackgroundRole:
            if (f && f->back.isValid()) return QBrush(f->back);
            return {};
        case Qt::FontRole:
            if (f && f->bold) {
                QFont font;
                font.setBold(true);
                return font;
            }
            return {};
        default:
            return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= Cols()) return {};
    if (role == Qt::DisplayRole) return d->rows.front()->text[section];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(d->columns[static_cast<size_t>(section)].alignment | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace kx
