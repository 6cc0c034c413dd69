#include "widgets/controls/outlinegrid.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include "widgets/controls/twips.h"

namespace kx {
namespace {

constexpr int kButtonSide = 9;  // the +/- box of an outline node, in pixels

/// A header that draws over its sections.
class DecoratedHeader : public QHeaderView {
public:
    using QHeaderView::QHeaderView;

protected:
    /// Paints the section as the style does and keeps the painter's state: the style may leave a clip
    /// behind that would hide what is drawn over the section.
    void paintStyledSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();
    }
};

/// The fixed column: one header section per data row, with the outline button of node rows.
class OutlineHeader : public DecoratedHeader {
public:
    OutlineHeader(GridModel& model, QWidget* parent) : DecoratedHeader(Qt::Vertical, parent), m_model(model) {
        setObjectName(QStringLiteral("fixedColumn"));
        setSectionsClickable(true);
        setHighlightSections(false);
    }

    /// The button of grid row `row` inside a section rectangle `section`.
    static QRect buttonRect(const QRect& section) {
        return {section.center().x() - kButtonSide / 2, section.center().y() - kButtonSide / 2, kButtonSide,
                kButtonSide};
    }

    /// The fixed column is as wide as the grid's column 0 says (a fixed width): measuring the row headers, as
    /// a header's size hint does after every inserted row, would only find that width.
    QSize sizeHint() const override { return {width(), defaultSectionSize()}; }

    /// The grid row whose outline button lies under `pos`, or -1.
    int buttonRowAt(const QPoint& pos) const {
        const int logical = logicalIndexAt(pos);
        if (logical < 0) return -1;
        const int row = logical + GridModel::FixedRows;
        if (!m_model.hasChildRows(row)) return -1;
        const QRect section(0, sectionViewportPosition(logical), width(), sectionSize(logical));
        return buttonRect(section).adjusted(-2, -2, 2, 2).contains(pos) ? row : -1;
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        paintStyledSection(painter, rect, logicalIndex);
        const int row = logicalIndex + GridModel::FixedRows;
        if (!m_model.hasChildRows(row)) return;
        const QRect box = buttonRect(rect);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setPen(QColor(128, 128, 128));
        painter->setBrush(Qt::white);
        painter->drawRect(box.adjusted(0, 0, -1, -1));
        painter->setPen(Qt::black);
        const int midY = box.top() + kButtonSide / 2;
        const int midX = box.left() + kButtonSide / 2;
        painter->drawLine(box.left() + 2, midY, box.right() - 2, midY);
        if (m_model.IsCollapsed(row) == OutlineCollapsed)
            painter->drawLine(midX, box.top() + 2, midX, box.bottom() - 2);
        painter->restore();
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (toggleAt(event->position().toPoint())) return;
        QHeaderView::mousePressEvent(event);
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (toggleAt(event->position().toPoint())) return;
        QHeaderView::mouseDoubleClickEvent(event);
    }

private:
    bool toggleAt(const QPoint& pos) {
        const int row = buttonRowAt(pos);
        if (row < 0) return false;
        const bool collapsed = m_model.IsCollapsed(row) == OutlineCollapsed;
        m_model.setIsCollapsed(row, collapsed ? OutlineExpanded : OutlineCollapsed);
        return true;
    }

    GridModel& m_model;
};

/// The header row: the column captions, with a picture centred in a cell where one is set.
class PictureHeader : public DecoratedHeader {
public:
    PictureHeader(GridModel& model, QWidget* parent)
        : DecoratedHeader(Qt::Horizontal, parent), m_model(model) {
        setObjectName(QStringLiteral("headerRow"));
        setHighlightSections(false);
        setSectionsClickable(false);
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        paintStyledSection(painter, rect, logicalIndex);
        const QPixmap picture = m_model.headerPicture(logicalIndex);
        if (picture.isNull()) return;
        const QSizeF size = picture.deviceIndependentSize();
        const QPointF topLeft(rect.center().x() + 1 - size.width() / 2,
                              rect.center().y() + 1 - size.height() / 2);
        painter->drawPixmap(topLeft, picture);
    }

private:
    GridModel& m_model;
};

}  // namespace

struct OutlineGrid::Private {
    explicit Private(OutlineGrid& grid) : q(grid), model(new GridModel(&grid)) {}

    OutlineGrid& q;
    GridModel* model;
    OutlineHeader* fixedColumn = nullptr;
    int col = GridModel::FixedCols;  // the current column while no data row is current
    int rowHeightMin = 0;
    int reportedRow = 0;
    int reportedCol = GridModel::FixedCols;
    std::function<bool(int)> rowFilter;
    int fillColumn = -1;
    int fitColumn = -1;
    int fitWidth = 0;  // pixels the fit column's widest text needs
    bool elidedTextTips = false;
    QString placeholder;

    /// The width of column `c` on screen, in pixels: as the cells set it, widened for the fit column.
    int pixelWidth(int c) const {
        const int width = toPixels(model->ColWidth(c));
        return c == fitColumn ? std::max(width, fitWidth) : width;
    }

    void applyColumn(int c) {
        const int width = model->ColWidth(c);
        if (c < GridModel::FixedCols) {
            q.setColumnHidden(c, true);
            fixedColumn->setFixedWidth(toPixels(width));
            fixedColumn->setVisible(width > 0);
            return;
        }
        q.setColumnHidden(c, width == 0);
        if (width > 0) q.setColumnWidth(c, pixelWidth(c));
        if (c != fillColumn) applyFill();
    }

    void applyAllColumns() {
        for (int c = 0; c < model->Cols(); ++c) applyColumn(c);
    }

    /// Gives the fill column the width the other columns leave free in the viewport.
    void applyFill() {
        if (fillColumn < GridModel::FixedCols || fillColumn >= model->Cols() ||
            model->ColWidth(fillColumn) == 0)
            return;
        int others = 0;
        for (int c = GridModel::FixedCols; c < model->Cols(); ++c) {
            if (c != fillColumn && !q.isColumnHidden(c)) others += q.columnWidth(c);
        }
        q.setColumnWidth(fillColumn, std::max(pixelWidth(fillColumn), q.viewport()->width() - others));
    }

    /// Measures the widest text of the fit column (rows that merge cells span several columns).
    void measureFitColumn() {
        if (fitColumn < GridModel::FixedCols || fitColumn >= model->Cols()) return;
        const QFontMetrics metrics(q.font());
        int widest = 0;
        for (int row = GridModel::FixedRows; row < model->Rows(); ++row) {
            if (!model->MergeRow(row))
                widest = std::max(widest, metrics.horizontalAdvance(model->TextMatrix(row, fitColumn)));
        }
        // The item view's text margins on both sides, and a little air.
        const int margins = 2 * (q.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &q) + 1) + 6;
        fitWidth = widest > 0 ? widest + margins : 0;
        applyColumn(fitColumn);
    }

    /// Shows or hides grid row `row` as `hidden` says, or hides it when the row filter leaves it out.
    void showRow(int row, bool hidden) {
        const int viewRow = row - GridModel::FixedRows;
        hidden = hidden || (rowFilter && !rowFilter(row));
        if (q.isRowHidden(viewRow) != hidden) q.setRowHidden(viewRow, hidden);
    }

    /// The current row moves up to its node when it disappears.
    void keepCurrentRowVisible() {
        int current = q.Row();
        while (current > GridModel::FixedRows && q.isRowHidden(current - GridModel::FixedRows)) --current;
        if (current != q.Row()) q.setRow(current);
    }

    bool someRowHidden() const { return fixedColumn->hiddenSectionCount() > 0; }

    /// Hides the rows under collapsed nodes and shows the others, over the whole grid.
    void applyVisibility() {
        if (!model->hasCollapsedNodes() && !someRowHidden() && !rowFilter) return;
        const QBitArray hidden = model->hiddenRows();
        for (int row = GridModel::FixedRows; row < model->Rows(); ++row) showRow(row, hidden.testBit(row));
        keepCurrentRowVisible();
    }

    /// The same for the rows an insertion, removal or outline change at grid row `first` can affect, so that
    /// a change costs the rows it touches, not the whole grid.
    void applyVisibilityFrom(int first) {
        if (!model->hasCollapsedNodes() && !someRowHidden() && !rowFilter) return;
        const std::vector<bool> hidden = model->hiddenRowsFrom(first);
        for (size_t i = 0; i < hidden.size(); ++i) showRow(first + static_cast<int>(i), hidden[i]);
        keepCurrentRowVisible();
    }

    /// Merges the runs of equal, non-empty adjacent cells of a merge row into spans.
    void applySpans(int row) {
        const int viewRow = row - GridModel::FixedRows;
        for (int c = 0; c < model->Cols(); ++c) {
            if (q.columnSpan(viewRow, c) > 1) q.setSpan(viewRow, c, 1, 1);
        }
        if (!model->MergeRow(row)) return;
        int start = GridModel::FixedCols;
        for (int c = GridModel::FixedCols + 1; c <= model->Cols(); ++c) {
            const QString startText = model->TextMatrix(row, start);
            if (c < model->Cols() && model->TextMatrix(row, c) == startText) continue;
            if (c - start > 1 && !startText.isEmpty()) q.setSpan(viewRow, start, 1, c - start);
            start = c;
        }
    }

    void applyAllSpans() {
        q.clearSpans();
        for (int row = GridModel::FixedRows; row < model->Rows(); ++row) {
            if (model->MergeRow(row)) applySpans(row);
        }
    }

    /// `wanted`, or the first visible data column when `wanted` is out of sight: the view cannot show a
    /// current cell in a hidden column, nor scroll to it.
    int visibleCol(int wanted) const {
        if (!q.isColumnHidden(wanted)) return wanted;
        for (int c = GridModel::FixedCols; c < model->Cols(); ++c) {
            if (!q.isColumnHidden(c)) return c;
        }
        return wanted;
    }

    void reportIfMoved() {
        if (q.Row() == reportedRow && q.Col() == reportedCol) return;
        reportedRow = q.Row();
        reportedCol = q.Col();
        emit q.rowColChanged();
    }

    void connectModel() {
        connect(model, &QAbstractItemModel::modelReset, &q, [this] {
            measureFitColumn();
            applyAllColumns();
            applyVisibility();
            applyAllSpans();
            reportIfMoved();
        });
        connect(model, &QAbstractItemModel::rowsInserted, &q, [this](const QModelIndex&, int first) {
            applyVisibilityFrom(first + GridModel::FixedRows);
            reportIfMoved();
        });
        connect(model, &QAbstractItemModel::rowsRemoved, &q, [this](const QModelIndex&, int first) {
            // The rows below the removed ones may have lost the node that enclosed them.
            if (first + GridModel::FixedRows < model->Rows())
                applyVisibilityFrom(first + GridModel::FixedRows);
            reportIfMoved();
        });
        connect(model, &QAbstractItemModel::columnsInserted, &q,
                [this](const QModelIndex&, int first, int last) {
                    for (int c = first; c <= last; ++c) applyColumn(c);
                });
        connect(model, &QAbstractItemModel::columnsRemoved, &q, [this] { reportIfMoved(); });
        connect(model, &QAbstractItemModel::dataChanged, &q,
                [this](const QModelIndex& from, const QModelIndex& to) {
                    for (int row = GridModel::gridRow(from); row <= GridModel::gridRow(to); ++row) {
                        if (model->MergeRow(row)) applySpans(row);
                    }
                    if (from.column() <= fitColumn && fitColumn <= to.column()) measureFitColumn();
                });
        connect(model, &GridModel::colWidthChanged, &q, [this](int c) { applyColumn(c); });
        connect(model, &GridModel::mergeChanged, &q, [this](int row) { applySpans(row); });
        connect(model, &GridModel::outlineChanged, &q, [this](int row) {
            applyVisibilityFrom(row);
            fixedColumn->viewport()->update();
        });
    }
};

OutlineGrid::OutlineGrid(QWidget* parent) : QTableView(parent), d(std::make_unique<Private>(*this)) {
    d->fixedColumn = new OutlineHeader(*d->model, this);
    setVerticalHeader(d->fixedColumn);
    setHorizontalHeader(new PictureHeader(*d->model, this));
    setModel(d->model);
    d->fixedColumn->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    d->connectModel();
    d->applyAllColumns();
    connect(this, &QAbstractItemView::clicked, this, &OutlineGrid::cellClicked);
    connect(this, &QAbstractItemView::doubleClicked, this, &OutlineGrid::cellDoubleClicked);
    connect(d->fixedColumn, &QHeaderView::sectionDoubleClicked, this, [this](int logical) {
        setRow(logical + GridModel::FixedRows);
        emit cellDoubleClicked();
    });
}

OutlineGrid::~OutlineGrid() = default;

GridModel& OutlineGrid::cells() const {
    return *d->model;
}

int OutlineGrid::Row() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? GridModel::gridRow(current) : 0;
}

void OutlineGrid::setRow(int row) {
    d->model->checkCell(row, 0);
    if (row < GridModel::FixedRows) {
        setCurrentIndex({});
        clearSelection();
    } else {
        // The row made current is the one selected, also where several rows may be selected.
        selectionModel()->setCurrentIndex(d->model->index(row - GridModel::FixedRows, d->visibleCol(Col())),
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    d->reportIfMoved();
}

int OutlineGrid::Col() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.column() : d->col;
}

void OutlineGrid::setCol(int col) {
    d->model->checkCell(0, col);
    d->col = col;
    if (Row() >= GridModel::FixedRows) setCurrentIndex(d->model->index(Row() - GridModel::FixedRows, col));
    d->reportIfMoved();
}

int OutlineGrid::RowHeightMin() const {
    return d->rowHeightMin;
}

void OutlineGrid::setRowHeightMin(int twips) {
    d->rowHeightMin = twips;
    const int pixels = std::max(1, toPixels(twips));
    d->fixedColumn->setMinimumSectionSize(pixels);
    d->fixedColumn->setDefaultSectionSize(pixels);
}

QRect OutlineGrid::outlineButtonRect(int row) const {
    if (!d->model->hasChildRows(row) || isRowHidden(row - GridModel::FixedRows)) return {};
    const int logical = row - GridModel::FixedRows;
    const QRect section(0, d->fixedColumn->sectionViewportPosition(logical), d->fixedColumn->width(),
                        d->fixedColumn->sectionSize(logical));
    return OutlineHeader::buttonRect(section);
}

void OutlineGrid::keyboardSearch(const QString&) {}

void OutlineGrid::setRowFilter(std::function<bool(int row)> passes) {
    d->rowFilter = std::move(passes);
    const QBitArray collapsedAway = d->model->hiddenRows();
    for (int row = GridModel::FixedRows; row < d->model->Rows(); ++row)
        d->showRow(row, collapsedAway.testBit(row));
    // The current row goes up to the nearest shown row, or away when none is above it.
    int current = Row();
    while (current >= GridModel::FixedRows && !isRowShown(current)) --current;
    if (current != Row()) setRow(std::max(current, 0));
    viewport()->update();
}

bool OutlineGrid::isRowShown(int row) const {
    return row >= GridModel::FixedRows && row < d->model->Rows() && !isRowHidden(row - GridModel::FixedRows);
}

int OutlineGrid::shownRowCount() const {
    return d->model->Rows() - GridModel::FixedRows - d->fixedColumn->hiddenSectionCount();
}

void OutlineGrid::setFillColumn(int col) {
    const int previous = d->fillColumn;
    d->fillColumn = col;
    if (previous >= GridModel::FixedCols && previous < d->model->Cols()) d->applyColumn(previous);
    d->applyFill();
}

void OutlineGrid::setFitColumn(int col) {
    const int previous = d->fitColumn;
    d->fitColumn = col;
    d->fitWidth = 0;
    if (previous >= GridModel::FixedCols && previous < d->model->Cols()) d->applyColumn(previous);
    d->measureFitColumn();
}

void OutlineGrid::setElidedTextTips(bool on) {
    d->elidedTextTips = on;
}

void OutlineGrid::setPlaceholderText(const QString& text) {
    d->placeholder = text;
    viewport()->update();
}

QString OutlineGrid::placeholderText() const {
    return d->placeholder;
}

void OutlineGrid::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (d->placeholder.isEmpty() || shownRowCount() > 0) return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                     d->placeholder);
}

void OutlineGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    d->applyFill();
}

bool OutlineGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip && d->elidedTextTips) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QString text = index.data().toString();
        const int room = visualRect(index).width() - 8;
        if (index.isValid() && QFontMetrics(font()).horizontalAdvance(text) > room) {
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QTableView::viewportEvent(event);
}

void OutlineGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (current.isValid()) d->col = current.column();
    d->reportIfMoved();
}

void OutlineGrid::keyPressEvent(QKeyEvent* event) {
    emit keyDown(event->key(), event->modifiers());
    QTableView::keyPressEvent(event);
}

}  // namespace kx
