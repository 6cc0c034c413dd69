// The outline grid: its model as views see it, outline visibility, the current cell and the notifications,
// driven through the real widget offscreen.
#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include "gui_support.h"
#include "kxview/errors.h"
#include "widgets/controls/outlinegrid.h"
#include "widgets/controls/twips.h"

using kx::GridModel;
using kx::OutlineGrid;

namespace {

/// One row of an outline case: 'N' a node (with its level and 'c' when collapsed), 'P' a plain row.
struct OutlineRow {
    bool node;
    int level;
    bool collapsed;
};

QList<OutlineRow> parseOutline(const QString& spec) {
    QList<OutlineRow> rows;
    for (const QString& token : spec.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const bool node = token.startsWith(QLatin1Char('N'));
        rows.append({node, node ? token.mid(1, 1).toInt() : 0, token.endsWith(QLatin1Char('c'))});
    }
    return rows;
}

/// A shown grid of ten columns whose data rows follow `spec`, with each row's number in column 2.
void fillOutline(OutlineGrid& grid, const QString& spec) {
    GridModel& g = grid.cells();
    g.setCols(10);
    g.setRows(1);
    for (const OutlineRow& r : parseOutline(spec)) {
        g.AddItem(QString());
        const int row = g.Rows() - 1;
        g.setTextMatrix(row, 2, QString::number(row));
        g.setIsSubtotal(row, r.node);
        g.setRowOutlineLevel(row, r.level);
        if (r.collapsed) g.setIsCollapsed(row, kx::OutlineCollapsed);
    }
}

QList<int> hiddenInView(const OutlineGrid& grid) {
    QList<int> hidden;
    for (int row = 1; row < grid.cells().Rows(); ++row) {
        if (grid.isRowHidden(row - 1)) hidden << row;
    }
    return hidden;
}

QPoint cellCenter(const OutlineGrid& grid, int row, int col) {
    return grid.visualRect(grid.cells().index(row - 1, col)).center();
}

}  // namespace

class OutlineGridTest : public QObject {
    Q_OBJECT

private slots:
    void modelFollowsTheGridThroughEveryChange() {
        OutlineGrid grid;
        GridModel& g = grid.cells();
        QAbstractItemModelTester tester(&g, QAbstractItemModelTester::FailureReportingMode::QtTest);
        g.setCols(10);
        g.setRows(4);
        g.setTextMatrix(0, 3, QStringLiteral("名称"));
        g.setTextMatrix(2, 3, QStringLiteral("挖一般土方"));
        g.AddItem(QStringLiteral("\tA\tB"), 2);
        QCOMPARE(g.Rows(), 5);
        QCOMPARE(g.TextMatrix(2, 1), QStringLiteral("A"));
        QCOMPARE(g.TextMatrix(2, 2), QStringLiteral("B"));
        QCOMPARE(g.TextMatrix(3, 3), QStringLiteral("挖一般土方"));
        // Grid row r is model row r - 1; the header row is header data.
        QCOMPARE(g.rowCount(), 4);
        QCOMPARE(g.index(2, 3).data().toString(), QStringLiteral("挖一般土方"));
        QCOMPARE(g.headerData(3, Qt::Horizontal).toString(), QStringLiteral("名称"));
        {
            GridModel::Batch batch(g);
            g.setRows(1);
            for (int i = 0; i < 100; ++i) g.AddItem(QStringLiteral("\t\t%1").arg(i));
        }
        QCOMPARE(g.rowCount(), 100);
        QCOMPARE(g.index(99, 2).data().toString(), QStringLiteral("99"));
        g.setCols(12);
        g.setTextMatrix(50, 11, QStringLiteral("12.50"));
        g.setCols(10);
        QCOMPARE(g.columnCount(), 10);
        g.setRows(1);
        QCOMPARE(g.rowCount(), 0);
    }

    void cellChangesAreAnnouncedOnceForTheBlockTheySpan() {
        OutlineGrid grid;
        GridModel& g = grid.cells();
        QAbstractItemModelTester tester(&g, QAbstractItemModelTester::FailureReportingMode::QtTest);
        g.setCols(10);
        g.setRows(8);
        QSignalSpy changed(&g, &GridModel::dataChanged);
        QSignalSpy header(&g, &GridModel::headerDataChanged);
        auto block = [&](int at) {
            const auto args = changed.at(at);
            const QModelIndex from = args.at(0).value<QModelIndex>(), to = args.at(1).value<QModelIndex>();
            return QRect(QPoint(from.column(), from.row()), QPoint(to.column(), to.row()));
        };
        {
            const GridModel::CellChanges outer(g);
            g.setTextMatrix(5, 8, QStringLiteral("12.50"));
            {
                const GridModel::CellChanges inner(g);
                g.setTextMatrix(2, 9, QStringLiteral("3.00"));
            }
            g.setTextMatrix(0, 8, QStringLiteral("单价"));  // header cells are announced at once
            QCOMPARE(header.count(), 1);
            QCOMPARE(changed.count(), 0);
        }
        QCOMPARE(changed.count(), 1);
        QCOMPARE(block(0), QRect(QPoint(8, 1), QPoint(9, 4)));  // model rows are grid rows - 1
        // A change of shape announces what was gathered while its rows still hold.
        {
            const GridModel::CellChanges fill(g);
            g.setTextMatrix(7, 9, QStringLiteral("1.00"));
            g.setRows(4);
            QCOMPARE(changed.count(), 2);
            QCOMPARE(block(1), QRect(QPoint(9, 6), QPoint(9, 6)));
            g.setTextMatrix(3, 9, QStringLiteral("2.00"));
        }
        QCOMPARE(changed.count(), 3);
        QCOMPARE(g.TextMatrix(3, 9), QStringLiteral("2.00"));
        // Nothing changed: nothing announced.
        { const GridModel::CellChanges idle(g); }
        QCOMPARE(changed.count(), 3);
    }

    void indexesOutOfRangeAreRefused_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::newRow("row below 0") << -1 << 1;
        QTest::newRow("row past the last") << 3 << 1;
        QTest::newRow("column past the last") << 1 << 10;
    }
    void indexesOutOfRangeAreRefused() {
        QFETCH(int, row);
        QFETCH(int, col);
        OutlineGrid grid;
        grid.cells().setCols(10);
        grid.cells().setRows(3);
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, grid.cells().TextMatrix(row, col));
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, grid.cells().setTextMatrix(row, col, QString()));
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, grid.setRow(row == 1 ? 7 : row));
    }

    void invalidValuesAreRefused() {
        OutlineGrid grid;
        GridModel& g = grid.cells();
        g.setRows(2);
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, g.setRows(0));
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, g.setIsCollapsed(1, 1));
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, g.setRowOutlineLevel(1, -1));
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, g.AddItem(QString(), 0));
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, g.AddItem(QString(), 3));
    }

    void collapsedNodesHideTheirDescendants_data() {
        QTest::addColumn<QString>("outline");
        QTest::addColumn<QList<int>>("hidden");
        QTest::newRow("plain rows under a collapsed node") << "N0c P P N0 P" << QList<int>{2, 3};
        QTest::newRow("collapsed parent hides the subtree") << "N0c N1 N2 N1 N0" << QList<int>{2, 3, 4};
        QTest::newRow("collapsed child inside an open parent") << "N0 N1c P N1 P" << QList<int>{3};
        QTest::newRow("a skipped level still belongs to the node") << "N0c N2 N1 N0" << QList<int>{2, 3};
        QTest::newRow("rows before the first node stay") << "P P N0c P" << QList<int>{4};
        QTest::newRow("open nodes hide nothing") << "N0 P N1 P" << QList<int>{};
        QTest::newRow("collapsed node without children") << "N0c N0c N0" << QList<int>{};
        QTest::newRow("sibling at the same level ends the subtree") << "N1c N2 N1 P" << QList<int>{2};
    }
    void collapsedNodesHideTheirDescendants() {
        QFETCH(QString, outline);
        QFETCH(QList<int>, hidden);
        OutlineGrid grid;
        fillOutline(grid, outline);
        const QBitArray bits = grid.cells().hiddenRows();
        QList<int> fromModel;
        for (int row = 1; row < bits.size(); ++row) {
            if (bits.testBit(row)) fromModel << row;
        }
        QCOMPARE(fromModel, hidden);
        QCOMPARE(hiddenInView(grid), hidden);
    }

    void expandingShowsRowsExceptUnderCollapsedChildren() {
        OutlineGrid grid;
        fillOutline(grid, "N0c N1c P N1 P N0");
        QCOMPARE(hiddenInView(grid), (QList<int>{2, 3, 4, 5}));
        grid.cells().setIsCollapsed(1, kx::OutlineExpanded);
        QCOMPARE(hiddenInView(grid), QList<int>{3});
        // A batched refill starts over: nothing hidden until a node collapses again.
        fillOutline(grid, "N0 P P");
        QCOMPARE(hiddenInView(grid), QList<int>{});
    }

    // The view updates only the rows an edit can affect; after any sequence of edits it must show exactly
    // what a computation over the whole grid gives.
    void editsUpdateTheRowsTheyAffectLikeAFullComputation() {
        OutlineGrid grid;
        fillOutline(grid, "N0c N1 P N1c N2 P N0 P N1c P N0c N1 N0");
        GridModel& g = grid.cells();
        QRandomGenerator random(7);
        for (int step = 0; step < 400; ++step) {
            const int row = 1 + static_cast<int>(random.bounded(g.Rows() - 1));
            switch (random.bounded(5)) {
                case 0:
                    g.setIsCollapsed(row, g.IsCollapsed(row) == kx::OutlineCollapsed ? kx::OutlineExpanded
                                                                                     : kx::OutlineCollapsed);
                    break;
                case 1:
                    g.setRowOutlineLevel(row, static_cast<int>(random.bounded(3)));
                    break;
                case 2:
                    g.setIsSubtotal(row, !g.IsSubtotal(row));
                    break;
                case 3:
                    g.AddItem(QString(), row);
                    break;
                default:
                    if (g.Rows() > 4) g.setRows(g.Rows() - 1);
                    break;
            }
            const QBitArray full = g.hiddenRows();
            QList<int> expected;
            for (int r = 1; r < full.size(); ++r) {
                if (full.testBit(r)) expected << r;
            }
            QCOMPARE(hiddenInView(grid), expected);
        }
    }

    void rowsInsertedUnderACollapsedNodeStartHidden() {
        OutlineGrid grid;
        fillOutline(grid, "N0 N0");
        grid.cells().setIsCollapsed(1, kx::OutlineCollapsed);
        grid.cells().AddItem(QString(), 2);
        grid.cells().setIsSubtotal(2, true);
        grid.cells().setRowOutlineLevel(2, 1);
        QCOMPARE(hiddenInView(grid), QList<int>{2});
        QVERIFY(grid.cells().hasChildRows(1));
        QVERIFY(!grid.cells().hasChildRows(3));
    }

    void outlineButtonTogglesTheNode() {
        OutlineGrid grid;
        grid.resize(400, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        fillOutline(grid, "N0 P P N0 P");
        grid.setRow(3);
        QVERIFY(grid.outlineButtonRect(4).isValid());
        QVERIFY2(!grid.outlineButtonRect(2).isValid(), "plain rows have no button");
        QWidget* fixedColumn = grid.verticalHeader()->viewport();
        QTest::mouseClick(fixedColumn, Qt::LeftButton, {}, grid.outlineButtonRect(1).center());
        QCOMPARE(grid.cells().IsCollapsed(1), qint16(kx::OutlineCollapsed));
        QCOMPARE(hiddenInView(grid), (QList<int>{2, 3}));
        QCOMPARE(grid.Row(), 1);  // the current row moves up to its node when it disappears
        QTest::mouseClick(fixedColumn, Qt::LeftButton, {}, grid.outlineButtonRect(1).center());
        QCOMPARE(grid.cells().IsCollapsed(1), qint16(kx::OutlineExpanded));
        QCOMPARE(hiddenInView(grid), QList<int>{});
    }

    void currentCellAndNotifications() {
        OutlineGrid grid;
        grid.resize(500, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        fillOutline(grid, "N0c P N0 P P");
        for (int c = 1; c < 10; ++c) grid.cells().setColWidth(c, 600);
        QSignalSpy moved(&grid, &OutlineGrid::rowColChanged);
        QSignalSpy clicked(&grid, &OutlineGrid::cellClicked);
        QSignalSpy doubleClicked(&grid, &OutlineGrid::cellDoubleClicked);
        QSignalSpy keys(&grid, &OutlineGrid::keyDown);
        QCOMPARE(grid.Row(), 0);

        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cellCenter(grid, 3, 4));
        QCOMPARE(grid.Row(), 3);
        QCOMPARE(grid.Col(), 4);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(clicked.count(), 1);

        kxtest::doubleClick(grid.viewport(), cellCenter(grid, 4, 2));
        QCOMPARE(grid.Row(), 4);
        QCOMPARE(doubleClicked.count(), 1);

        // The arrow keys skip the rows under the collapsed node.
        QTest::keyClick(grid.viewport(), Qt::Key_Up);
        QTest::keyClick(grid.viewport(), Qt::Key_Up);
        QCOMPARE(grid.Row(), 1);
        QCOMPARE(keys.count(), 2);
        QCOMPARE(keys.at(0).at(0).toInt(), int(Qt::Key_Up));

        QTest::keyClicks(grid.viewport(), QStringLiteral("1"));
        QCOMPARE(grid.Row(), 1);  // typing does not search the grid

        moved.clear();
        grid.setCol(5);
        QCOMPARE(grid.Col(), 5);
        grid.setRow(0);
        QCOMPARE(grid.Row(), 0);
        QCOMPARE(grid.Col(), 5);  // the column stays while no row is current
        QCOMPARE(moved.count(), 2);
        grid.setRow(3);
        grid.cells().setRows(1);
        QCOMPARE(grid.Row(), 0);  // cutting the rows leaves no current row
        QCOMPARE(moved.count(), 4);
    }

    void aCurrentRowIsShownInAVisibleColumn() {
        OutlineGrid grid;
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        fillOutline(grid, QStringLiteral("P P P P P P P P P P P P P P P P P P P P P P P P P P P P P P"));
        grid.cells().setColWidth(1, 0);
        QCOMPARE(grid.Col(), 1);            // the grid starts on its first data column
        QCoreApplication::processEvents();  // the view lays the new rows out
        grid.setRow(30);
        QCOMPARE(grid.Col(), 2);  // column 1 is out of sight
        QVERIFY(grid.viewport()->rect().contains(grid.visualRect(grid.currentIndex()).center()));
    }

    void columnsAreSizedInTwipsAndZeroWidthHides() {
        OutlineGrid grid;
        GridModel& g = grid.cells();
        g.setCols(10);
        g.setRows(2);
        g.setColWidth(0, 300);
        g.setColWidth(2, 1000);
        g.setColWidth(3, 3000);
        g.setColWidth(5, 0);
        QCOMPARE(grid.verticalHeader()->width(), 20);
        QCOMPARE(grid.columnWidth(2), 67);
        QCOMPARE(grid.columnWidth(3), 200);
        QVERIFY(grid.isColumnHidden(5));
        QVERIFY2(grid.isColumnHidden(0), "the fixed column shows as the row header");
        g.setColWidth(5, 600);
        QVERIFY(!grid.isColumnHidden(5));
        QCOMPARE(grid.columnWidth(5), 40);
        grid.setRowHeightMin(330);
        QCOMPARE(grid.verticalHeader()->sectionSize(0), 22);
    }

    void cellFormatsReachTheView() {
        OutlineGrid grid;
        GridModel& g = grid.cells();
        g.setCols(10);
        g.setRows(3);
        g.setColAlignment(4, Qt::AlignHCenter);
        g.setCellForeColor(1, 3, 3, QColor(250, 0, 0));
        g.setCellBackColor(2, 1, 9, QColor(240, 240, 240));
        g.setCellFontBold(2, 1, 9, true);
        QCOMPARE(g.index(0, 3).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(250, 0, 0));
        QVERIFY(!g.index(0, 2).data(Qt::ForegroundRole).isValid());
        QCOMPARE(g.index(1, 9).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(240, 240, 240));
        QVERIFY(g.index(1, 5).data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!g.index(0, 5).data(Qt::FontRole).isValid());
        QCOMPARE(g.index(1, 4).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
                 Qt::AlignHCenter | Qt::AlignVCenter);
        QCOMPARE(g.cellForeColor(1, 3), QColor(250, 0, 0));
        QVERIFY(g.cellFontBold(2, 3));
    }

    void mergeRowsJoinEqualNeighbours() {
        OutlineGrid grid;
        GridModel& g = grid.cells();
        g.setCols(10);
        g.setRows(3);
        g.setTextMatrix(1, 2, QStringLiteral("1-5 挖一般土方"));
        g.setTextMatrix(1, 3, QStringLiteral("1-5 挖一般土方"));
        g.setTextMatrix(2, 2, QStringLiteral("same"));
        g.setTextMatrix(2, 3, QStringLiteral("same"));
        g.setMergeRow(1, true);
        QCOMPARE(grid.columnSpan(0, 2), 2);
        QCOMPARE(grid.columnSpan(1, 2), 1);  // rows without the permission do not merge
        g.setTextMatrix(1, 3, QStringLiteral("other"));
        QCOMPARE(grid.columnSpan(0, 2), 1);
        g.setTextMatrix(1, 3, QStringLiteral("1-5 挖一般土方"));
        g.AddItem(QString(), 1);
        QCOMPARE(grid.columnSpan(1, 2), 2);  // the span moves with its row
    }

    void headerPictureIsDrawnCentred() {
        OutlineGrid grid;
        GridModel& g = grid.cells();
        g.setCols(3);
        g.setColWidth(2, 1500);
        QPixmap red(16, 16);
        red.fill(Qt::red);
        g.setHeaderPicture(2, red);
        grid.resize(300, 100);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QHeaderView* header = grid.horizontalHeader();
        const QImage image = header->grab().toImage();
        const int left = header->sectionViewportPosition(2);
        const QPoint centre(left + header->sectionSize(2) / 2, header->height() / 2);
        QCOMPARE(image.pixelColor(centre), QColor(Qt::red));
        QVERIFY2(image.pixelColor(left + 3, centre.y()) != QColor(Qt::red),
                 "the picture is not at the left edge");
    }
};

QTEST_MAIN(OutlineGridTest)
#include "outlinegrid_test.moc"
