// KXView driven as a host and a user drive it, offscreen, over the sample application directory: opening
// each kind of library, clicking categories, moving through rows, double-clicking, pressing Enter, using
// the toolbar, the host events, the layout in twips, the persisted property and bad input.
#include <QAbstractItemModelTester>
#include <QFile>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <algorithm>
#include <map>

#include "browser_support.h"
#include "core/data/modpub_db.h"
#include "core/services/messages.h"
#include "kxview/errors.h"
#include "kxview/kxbar.h"
#include "kxview/kxview.h"
#include "kxview/propertystore.h"
#include "sample/builder.h"
#include "sample/names.h"
#include "widgets/controls/framedpanel.h"
#include "widgets/controls/kxtree.h"
#include "widgets/controls/outlinegrid.h"
#include "widgets/controls/richtextpane.h"
#include "widgets/controls/splitter.h"
#include "widgets/controls/twips.h"

using kx::KXView;
using namespace kxtest;

namespace {

const QString kMark = QStringLiteral(" [堪误]");

/// One item of a library as the item table holds it, read without the browser's SQL.
struct Item {
    qint64 id = 0;
    QString code, name, unit, cls;
    QList<qint64> keys;  // the list order's sort keys
};

/// Every item of `table`, read whole; `keys` are the fields of the list order.
QList<Item> readItems(const QString& file, const QString& table, const QString& codeField,
                      const QStringList& keys) {
    QList<Item> items;
    auto db = modPub_DB::OpenDB(file);
    for (auto rs = db->OpenRecordset(table); !rs->isEOF(); rs->MoveNext()) {
        Item item;
        item.id = rs->Value(QStringLiteral("ID")).toLongLong();
        item.code = rs->Text(codeField);
        item.name = rs->Text(QStringLiteral("Name"));
        item.unit = rs->Text(QStringLiteral("Unit"));
        item.cls = rs->Text(QStringLiteral("Class"));
        for (const QString& key : keys) item.keys << rs->Value(key).toLongLong();
        items << item;
    }
    return items;
}

/// The items whose class starts with `cls`, in list order.
QList<Item> category(QList<Item> items, const QString& cls) {
    items.erase(
        std::remove_if(items.begin(), items.end(), [&](const Item& i) { return !i.cls.startsWith(cls); }),
        items.end());
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.keys < b.keys; });
    return items;
}

QStringList ids(const QList<Item>& items) {
    QStringList out;
    for (const Item& i : items) out << QString::number(i.id);
    return out;
}

}  // namespace

class KXViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_app.ok()); }

    void loadListsTheSecondNodesCategoryPerKind_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("itemTable");
        QTest::addColumn<QString>("codeField");
        QTest::addColumn<QStringList>("orderKeys");
        QTest::addColumn<QString>("codeHeader");
        QTest::addColumn<QList<int>>("widths");  // columns 2, 3, 4, 9
        QTest::addColumn<QList<bool>>("tools");  // tMateIndex, tWithPrice, tLink
        QTest::addColumn<bool>("description");
        QTest::newRow("quota") << "DE" << quota() << "DM"
                               << "DECode" << QStringList{"Code1", "Code2", "Code3", "Code4"} << "定额号"
                               << QList<int>{1000, 3000, 800, 0} << QList<bool>{true, true, true} << true;
        QTest::newRow("material") << "Mate" << material() << "Mate"
                                  << "Code" << QStringList{"OCode"} << "编号"
                                  << QList<int>{1000, 3000, 600, 0} << QList<bool>{true, true, false}
                                  << false;
        QTest::newRow("bill item") << "DataBook" << bill() << "DataBook"
                                   << "Code" << QStringList{"OCode"} << "清单编号"
                                   << QList<int>{1000, 4000, 600, 0} << QList<bool>{false, false, false}
                                   << true;
    }
    void loadListsTheSecondNodesCategoryPerKind() {
        QFETCH(QString, kind);
        QFETCH(QString, file);
        QFETCH(QString, itemTable);
        QFETCH(QString, codeField);
        QFETCH(QStringList, orderKeys);
        QFETCH(QString, codeHeader);
        QFETCH(QList<int>, widths);
        QFETCH(QList<bool>, tools);
        QFETCH(bool, description);
        Browser b;
        QAbstractItemModelTester gridTester(&b.cells(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester treeTester(kxtest::treeView(b.tree())->model(),
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        load(b, kind, file);
        QCOMPARE(b.view.GetDBFullName(), file);
        QVERIFY(b.tree().NodeAt(2).Selected());
        const QString cls = classOfNode(file, b.tree().NodeID(2));
        const QList<Item> expected = category(readItems(file, itemTable, codeField, orderKeys), cls);
        QVERIFY(expected.size() > 10);
        QCOMPARE(column(b.cells(), kId), ids(expected));
        QCOMPARE(b.cells().Cols(), 10);
        QCOMPARE(b.cells().TextMatrix(0, kCode), codeHeader);
        QCOMPARE(b.cells().TextMatrix(0, kName), QStringLiteral("名称"));
        QCOMPARE(b.cells().TextMatrix(0, kUnit), QStringLiteral("单位"));
        QCOMPARE((QList<int>{b.cells().ColWidth(kCode), b.cells().ColWidth(kName), b.cells().ColWidth(kUnit),
                             b.cells().ColWidth(kOther)}),
                 widths);
        QCOMPARE(b.cells().ColWidth(0), 300);
        QCOMPARE(b.cells().ColAlignment(kUnit), Qt::AlignHCenter);
        QCOMPARE(b.cells().headerPicture(kOther).isNull(), kind != QLatin1String("DE"));
        QCOMPARE((QList<bool>{b.tool("tMateIndex")->isVisible(), b.tool("tWithPrice")->isVisible(),
                              b.tool("tLink")->isVisible()}),
                 tools);
        QVERIFY(b.tool("tFind")->isVisible() && b.tool("tCall")->isVisible() && b.tool("tEx")->isVisible());
        QCOMPARE(b.child("KXHead1").isVisible(), description);
        QCOMPARE(b.F().Row(), 0);  // no item is current after a listing
    }

    void quotaRowsAreNodesWithOneRedErrataMark() {
        Browser b;
        load(b, QStringLiteral("DE"), quota());
        std::map<qint64, int> corrections;
        auto db = modPub_DB::OpenDB(quota());
        for (auto rs = db->OpenRecordset(QStringLiteral("EditRecord")); !rs->isEOF(); rs->MoveNext())
            ++corrections[rs->Value(QStringLiteral("DMID")).toLongLong()];
        int marked = 0, several = 0;
        const kx::GridModel& g = b.cells();
        for (int r = 1; r < g.Rows(); ++r) {
            QVERIFY(g.IsSubtotal(r));
            QCOMPARE(g.RowOutlineLevel(r), 0);
            QVERIFY(!g.RowData(r).isValid());
            QCOMPARE(g.TextMatrix(r, kRowKind), QString());
            const int count = corrections.count(g.TextMatrix(r, kId).toLongLong())
                                  ? corrections[g.TextMatrix(r, kId).toLongLong()]
                                  : 0;
            const QString name = g.TextMatrix(r, kName);
            QCOMPARE(name.count(kMark), count > 0 ? 1 : 0);
            QCOMPARE(name.endsWith(kMark), count > 0);
            QCOMPARE(g.cellForeColor(r, kName), count > 0 ? QColor(250, 0, 0) : QColor());
            QCOMPARE(g.cellForeColor(r, kCode), QColor());
            marked += count > 0;
            several += count > 1;
        }
        QVERIFY(marked > 0);
        QVERIFY2(several > 0, "the category holds an item with several corrections");
    }

    void nullFieldsShowAsEmptyCells() {
        Browser b;
        load(b, QStringLiteral("DE"), quota());
        // The first leaf holds an item without unit, one without code and one without name.
        b.view.LoadData(quota(), QStringLiteral("010101"));
        const kx::GridModel& g = b.cells();
        QCOMPARE(g.TextMatrix(2, kUnit), QString());
        QCOMPARE(g.TextMatrix(3, kCode), QString());
        QCOMPARE(g.TextMatrix(4, kName).remove(kMark), QString());
        QCOMPARE(g.TextMatrix(5, kUnit), QStringLiteral("100m3"));
    }

    void billRowsAreChildlessLevelZeroNodes() {
        Browser b;
        load(b, QStringLiteral("DataBook"), bill());
        const kx::GridModel& g = b.cells();
        QVERIFY(g.Rows() > 10);
        for (int r = 1; r < g.Rows(); ++r) {
            QCOMPARE(g.TextMatrix(r, kRowKind), QStringLiteral("DataBook"));
            QVERIFY(g.IsSubtotal(r));
            QCOMPARE(g.RowOutlineLevel(r), 0);
            QVERIFY(!g.hasChildRows(r));
        }
    }

    void classPrefixesSelectItems_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("cls");
        QTest::newRow("chapter with its sections and leaves") << "DE" << quota() << "04";
        QTest::newRow("section") << "DE" << quota() << "0401";
        QTest::newRow("leaf stored backwards") << "DE" << quota() << "010102";
        QTest::newRow("empty class lists every item") << "DE" << quota() << "";
        QTest::newRow("no such class") << "DE" << quota() << "99";
        QTest::newRow("material group") << "Mate" << material() << "02";
        QTest::newRow("every material") << "Mate" << material() << "";
        QTest::newRow("bill section") << "DataBook" << bill() << "0101";
        QTest::newRow("every bill item") << "DataBook" << bill() << "";
    }
    void classPrefixesSelectItems() {
        QFETCH(QString, kind);
        QFETCH(QString, file);
        QFETCH(QString, cls);
        Browser b;
        b.view.SetAppPath(appPath());
        b.view.setFindStyle(kind);
        b.view.LoadData(file, cls);
        const bool quotaKind = kind == QLatin1String("DE");
        const QList<Item> expected = category(
            readItems(file, quotaKind ? "DM" : kind, quotaKind ? "DECode" : "Code",
                      quotaKind ? QStringList{"Code1", "Code2", "Code3", "Code4"} : QStringList{"OCode"}),
            cls);
        QCOMPARE(column(b.cells(), kId), ids(expected));
    }

    void nodeClicksListTheirCategories() {
        Browser b;
        load(b, QStringLiteral("DE"), quota());
        b.tree().NodeAt(2).setExpanded(true);
        b.tree().NodeAt(3).setExpanded(true);
        b.clickNode(4);  // 挖一般土方, a leaf
        const QList<Item> leaf = category(quotaItems(), QStringLiteral("010101"));
        QCOMPARE(column(b.cells(), kId), ids(leaf));
        b.clickNode(4);
        QCOMPARE(column(b.cells(), kId), ids(leaf));  // the grid is cleared first: no row twice

        b.clickNode(1);  // the library node has no row: the grid keeps its rows
        QCOMPARE(column(b.cells(), kId), ids(leaf));

        const qint16 last = b.tree().NodeCount();
        b.clickNode(last - 1);  // 补充定额: no items
        QCOMPARE(b.tree().NodeAt(last - 1).Text(), QStringLiteral("补充定额"));
        QCOMPARE(b.cells().Rows(), 1);
        b.clickNode(last);  // 全部子目: every item
        QCOMPARE(b.cells().Rows() - 1, quotaItems().size());
    }

    void expandAndCollapseAll_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("expanded");  // nodes expanded afterwards: -1 all, 0 none, 1 as before
        QTest::newRow("expand") << "全展开" << -1;
        QTest::newRow("collapse") << "全关闭" << 0;
        QTest::newRow("a character left out") << "全展" << 1;
        QTest::newRow("a space added") << "全关闭 " << 1;
        QTest::newRow("menu caption is no command") << "全部展开" << 1;
        QTest::newRow("empty") << "" << 1;
    }
    void expandAndCollapseAll() {
        QFETCH(QString, command);
        QFETCH(int, expanded);
        Browser b;
        b.view.SetTreeExpandedState(QStringLiteral("全展开"));  // an empty tree: nothing to do
        load(b, QStringLiteral("DE"), quota());
        const QList<bool> before = expandedNodes(b.tree());
        b.view.SetTreeExpandedState(command);
        const QList<bool> after = expandedNodes(b.tree());
        if (expanded == 1) {
            QCOMPARE(after, before);
        } else {
            QCOMPARE(after, QList<bool>(after.size(), expanded == -1));
        }
    }

    void toolbarMenuExpandsAndCollapsesTheTree() {
        Browser b;
        load(b, QStringLiteral("Mate"), material());
        chooseFromExtendMenu(b, 2);  // 全部展开
        QCOMPARE(expandedNodes(b.tree()), QList<bool>(b.tree().NodeCount(), true));
        chooseFromExtendMenu(b, 0);  // 全部关闭
        QCOMPARE(expandedNodes(b.tree()), QList<bool>(b.tree().NodeCount(), false));
    }

    void doubleClickAndCallToolRaiseTheKindsEvent_data() {
        QTest::addColumn<bool>("byToolbar");
        QTest::newRow("double-click") << false;
        QTest::newRow("call tool") << true;
    }
    void doubleClickAndCallToolRaiseTheKindsEvent() {
        QFETCH(bool, byToolbar);
        Browser b;
        auto call = [&](int row) {
            if (byToolbar) {
                b.F().setRow(row);
                QTest::mouseClick(b.tool("tCall"), Qt::LeftButton);
            } else {
                b.doubleClickRow(row);
            }
        };
        load(b, QStringLiteral("Mate"), material());
        QSignalSpy mate(&b.view, &KXView::DoubleClickMate);
        call(3);
        QCOMPARE(mate.count(), 1);
        QCOMPARE(mate.at(0),
                 (QVariantList{b.cells().TextMatrix(3, kId).toInt(), b.cells().TextMatrix(3, kCode),
                               QString::fromUtf8(sample::names::kMaterialKey)}));

        load(b, QStringLiteral("DE"), quota());
        QSignalSpy de(&b.view, &KXView::DoubleClickDE);
        call(2);
        QCOMPARE(de.at(0), (QVariantList{b.cells().TextMatrix(2, kId).toInt(), b.cells().TextMatrix(2, kCode),
                                         QString::fromUtf8(sample::names::kBuildingKey), qint16(0)}));
        // Conversion rows under item 2: the third passes the item and its own conversion code.
        b.insertChildRows(2, {" -1", " -2", " -7"});
        call(5);
        QCOMPARE(de.at(1), (QVariantList{b.cells().TextMatrix(2, kId).toInt(), b.cells().TextMatrix(2, kCode),
                                         QString::fromUtf8(sample::names::kBuildingKey), qint16(7)}));

        load(b, QStringLiteral("DataBook"), bill());
        QSignalSpy book(&b.view, &KXView::DoubleClickDataBook);
        call(1);
        QCOMPARE(book.at(0), QVariantList{b.cells().TextMatrix(1, kCode)});
        // Selecting the bill item inserted its related quotas below it, collapsed: open them so that the
        // rows inserted below reach the user.
        b.cells().setIsCollapsed(1, kx::OutlineExpanded);
        // A related quota under the bill item: the code before the first blank and its own library key.
        b.cells().AddItem(QString(), 2);
        b.cells().setTextMatrix(2, kCode, QStringLiteral("4-27 矩形柱 C30"));
        b.cells().setTextMatrix(2, kId, QStringLiteral("123"));
        b.cells().setTextMatrix(2, kRowKind, QStringLiteral("DE"));
        b.cells().setTextMatrix(2, kDEKey, QString::fromUtf8(sample::names::kInstallKey));
        b.cells().AddItem(QString(), 3);
        b.cells().setTextMatrix(3, kCode, QStringLiteral("主体项目"));
        b.cells().setTextMatrix(3, kRowKind, QStringLiteral("Title"));
        call(2);
        QCOMPARE(de.count(), 3);
        QCOMPARE(de.at(2), (QVariantList{123, QStringLiteral("4-27"),
                                         QString::fromUtf8(sample::names::kInstallKey), qint16(0)}));
        call(3);  // a heading raises nothing
        QCOMPARE(de.count() + book.count(), 4);
    }

    void conversionRowWithoutAnItemAbovePassesItsOwnValues() {
        Browser b;
        load(b, QStringLiteral("DE"), quota());
        b.cells().setRows(1);
        b.insertChildRows(0, {" -7"});
        QSignalSpy de(&b.view, &KXView::DoubleClickDE);
        b.doubleClickRow(1);
        QCOMPARE(de.count(), 1);
        QCOMPARE(de.at(0), (QVariantList{0, QStringLiteral(" -7"),
                                         QString::fromUtf8(sample::names::kBuildingKey), qint16(7)}));
    }

    void noCurrentRowRaisesNothingAndOpensNothing() {
        MessageScope messages;
        Browser b;
        b.view.setFindStyle(QStringLiteral("Mate"));  // no library: opening one would fail and be reported
        QSignalSpy mate(&b.view, &KXView::DoubleClickMate);
        QSignalSpy link(&b.view, &KXView::CallDELink);
        QTest::mouseClick(b.tool("tCall"), Qt::LeftButton);
        QTest::mouseClick(b.tool("tLink"), Qt::LeftButton);
        QCOMPARE(mate.count() + link.count(), 0);
        QVERIFY(messages.service->shown().isEmpty());
    }

    void errataCellClickRaisesCallDEEditRecord() {
        Browser b;
        load(b, QStringLiteral("DE"), quota());
        b.cells().setColWidth(kOther, 600);
        b.cells().setTextMatrix(2, kOther, QStringLiteral("勘误"));
        QSignalSpy edit(&b.view, &KXView::CallDEEditRecord);
        auto click = [&](int row, int col) {
            QTest::mouseClick(b.F().viewport(), Qt::LeftButton, {},
                              b.F().visualRect(b.cells().index(row - 1, col)).center());
        };
        click(2, kName);
        click(3, kOther);
        QCOMPARE(edit.count(), 0);
        click(2, kOther);
        QCOMPARE(edit.count(), 1);
        QCOMPARE(edit.at(0), (QVariantList{b.cells().TextMatrix(2, kId).toInt(),
                                           QString::fromUtf8(sample::names::kBuildingKey)}));
    }

    void enterOpensACollapsedNodeOnly() {
        Browser b;
        load(b, QStringLiteral("DE"), quota());
        b.insertChildRows(1, {" -1", " -2"});
        b.cells().setIsCollapsed(1, kx::OutlineCollapsed);
        QVERIFY(b.F().isRowHidden(1));
        b.F().setRow(1);
        QTest::keyClick(b.F().viewport(), Qt::Key_Space);
        QCOMPARE(b.cells().IsCollapsed(1), qint16(kx::OutlineCollapsed));
        QTest::keyClick(b.F().viewport(), Qt::Key_Return);
        QCOMPARE(b.cells().IsCollapsed(1), qint16(kx::OutlineExpanded));
        QVERIFY(!b.F().isRowHidden(1) && !b.F().isRowHidden(2));
        QCOMPARE(b.F().Row(), 1);
        QTest::keyClick(b.F().viewport(), Qt::Key_Enter);  // an open node stays open
        QCOMPARE(b.cells().IsCollapsed(1), qint16(kx::OutlineExpanded));
        b.F().setRow(4);
        QTest::keyClick(b.F().viewport(), Qt::Key_Return);  // a row without children
        QCOMPARE(b.cells().IsCollapsed(4), qint16(kx::OutlineExpanded));
    }

    void linkToolPassesTheLeadingNumberOfTheIdCell_data() {
        QTest::addColumn<QString>("idText");
        QTest::addColumn<int>("dmid");
        QTest::newRow("digits then letters") << "123abc" << 123;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("blanks and a half rounds to even") << "  44.5" << 44;
        QTest::newRow("odd half rounds up") << "45.5" << 46;
        QTest::newRow("letters first") << "x9" << 0;
    }
    void linkToolPassesTheLeadingNumberOfTheIdCell() {
        QFETCH(QString, idText);
        QFETCH(int, dmid);
        Browser b;
        load(b, QStringLiteral("DE"), quota());
        b.cells().setTextMatrix(2, kId, idText);
        b.F().setRow(2);
        QSignalSpy link(&b.view, &KXView::CallDELink);
        QTest::mouseClick(b.tool("tLink"), Qt::LeftButton);
        QCOMPARE(link.count(), 1);
        QCOMPARE(link.at(0), (QVariantList{dmid, QString::fromUtf8(sample::names::kBuildingKey)}));
        QCOMPARE(b.view.GetSelectMateID(), dmid);
    }

    void hsCodeIsTheNumberAfterTwoCharacters_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("hs");
        QTest::newRow("conversion row") << " -12" << 12;
        QTest::newRow("shorter than three characters") << "ab" << 0;
        QTest::newRow("nothing after the marker") << " -" << 0;
        QTest::newRow("half to even") << " -2.5" << 2;
        QTest::newRow("half to even upwards") << " -3.5" << 4;
        QTest::newRow("quota code") << "4-27" << 27;
        QTest::newRow("negative") << "ab-3" << -3;
    }
    void hsCodeIsTheNumberAfterTwoCharacters() {
        QFETCH(QString, code);
        QFETCH(int, hs);
        Browser b;
        b.cells().setRows(2);
        b.cells().setTextMatrix(1, kCode, code);
        QCOMPARE(b.view.GetHSCode(1), qint16(hs));
    }

    void hsCodeFailuresReachTheHost() {
        Browser b;
        b.cells().setRows(2);
        b.cells().setTextMatrix(1, kCode, QStringLiteral(" -99999"));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, b.view.GetHSCode(1));
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, b.view.GetHSCode(5));
    }

    void selectedMaterialIdAndKey() {
        Browser b;
        QCOMPARE(b.view.GetSelectMateKey(), QString());
        QCOMPARE(b.view.GetSelectMateID(), 0);
        load(b, QStringLiteral("Mate"), material());
        QCOMPARE(b.view.GetSelectMateKey(), QString::fromUtf8(sample::names::kMaterialKey));
        QCOMPARE(b.view.GetSelectMateID(), 0);  // the header row is current
        b.F().setRow(3);
        QCOMPARE(b.view.GetSelectMateID(), b.cells().TextMatrix(3, kId).toInt());
        load(b, QStringLiteral("DE"), quota());
        QCOMPARE(b.view.GetSelectMateKey(), QString::fromUtf8(sample::names::kMaterialKey));  // not cleared
    }

    void layoutPlacesTheControlsInTwips_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QSize>("size");
        QTest::newRow("quota") << "DE" << QSize(920, 660);
        QTest::newRow("bill item") << "DataBook" << QSize(700, 500);
        QTest::newRow("material") << "Mate" << QSize(800, 600);
        QTest::newRow("no kind") << "Other" << QSize(760, 520);
    }
    void layoutPlacesTheControlsInTwips() {
        QFETCH(QString, kind);
        QFETCH(QSize, size);
        Browser b;
        b.view.setFindStyle(kind);
        const kx::TwipRect boxBefore = kx::twipGeometry(b.child("box"));
        const kx::TwipRect headBefore = kx::twipGeometry(b.child("KXHead1"));
        b.view.resize(size);
        checkLayout(b, kind, boxBefore, headBefore);

        // Dragging the splitter's bar lays the control out again.
        const int barY = b.Sp().upperPaneHeight() + kx::PaneSplitter::BarThickness / 2;
        QTest::mousePress(&b.Sp(), Qt::LeftButton, {}, QPoint(50, barY));
        QTest::mouseMove(&b.Sp(), QPoint(50, barY + 60));
        QTest::mouseRelease(&b.Sp(), Qt::LeftButton, {}, QPoint(50, barY + 60));
        QCOMPARE(b.Sp().upperPaneHeight(), barY - kx::PaneSplitter::BarThickness / 2 + 60);
        checkLayout(b, kind, boxBefore, headBefore);
    }

    void switchingTheKindChangesTheNextLayout() {
        Browser b;
        load(b, QStringLiteral("Mate"), material());
        QVERIFY(!b.child("KXHead1").isVisible());
        const kx::TwipRect mateBox = kx::twipGeometry(b.child("box"));
        const kx::TwipRect s = kx::twipGeometry(b.Sp());
        QCOMPARE(mateBox.top + mateBox.height, s.top + s.height);  // the grid panel fills the lower pane
        b.view.setFindStyle(QStringLiteral("DE"));
        QVERIFY(!b.child("KXHead1").isVisible());  // setting the kind does not lay out
        b.view.resize(901, 640);
        QVERIFY(b.child("KXHead1").isVisible());
    }

    void negativeSizesLeaveThatControlAndPlaceTheRest() {
        Browser b;
        load(b, QStringLiteral("DE"), quota());
        const kx::TwipRect box = kx::twipGeometry(b.child("box"));
        b.view.resize(400, 90);  // the lower pane is smaller than the description panel
        QCOMPARE(kx::twipGeometry(b.child("box")), box);
        const kx::TwipRect head = kx::twipGeometry(b.child("KXHead1"));
        QCOMPARE(head.top, box.top + box.height + 20);
        QCOMPARE(head.width, kx::toTwips(400));
    }

    void findStyleIsPersistedWithTheMateDefault() {
        QTemporaryDir dir;
        QSettings settings(dir.filePath("props.ini"), QSettings::IniFormat);
        kx::SettingsPropertyStore store(settings, QStringLiteral("KXView1"));
        Browser b;
        QCOMPARE(b.view.FindStyle(), QString());  // a control placed new
        b.view.readProperties(store);
        QCOMPARE(b.view.FindStyle(), QStringLiteral("Mate"));
        b.view.writeProperties(store);
        QCOMPARE(settings.value("KXView1/FindStyle").toString(),
                 QStringLiteral("Mate"));  // written even as the default
        settings.setValue("KXView1/FindStyle", QString());
        b.view.readProperties(store);
        QCOMPARE(b.view.FindStyle(), QString());  // a stored "" stays ""

        QSignalSpy changed(&b.view, &KXView::FindStyleChanged);
        load(b, QStringLiteral("DE"), quota());
        const QStringList listed = column(b.cells(), kId);
        b.view.setFindStyle(QStringLiteral("Mate"));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(column(b.cells(), kId), listed);  // neither reloads nor lists
        QCOMPARE(b.cells().TextMatrix(0, kCode), QStringLiteral("定额号"));
    }

    void badInputEndsLoadWithAnErrorAndTheControlStaysUsable_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("appPath");
        QTest::addColumn<QString>("error");  // the exception type expected, "" for none
        QTest::newRow("not a database")
            << "DE" << appPath() + "System/Ico/Edit/Kind.ico" << appPath() << "DbError";
        QTest::newRow("no category table") << "DE" << material() << appPath() << "DbError";
        QTest::newRow("missing file") << "Mate" << m_app.scratch("none.QTCJ") << appPath() << "DbError";
        QTest::newRow("missing Kind.ico") << "DE" << quota() << m_app.scratch("empty") + "/"
                                          << "ControlError";
        QTest::newRow("no kind") << "de" << quota() << appPath() << "";
    }
    void badInputEndsLoadWithAnErrorAndTheControlStaysUsable() {
        QFETCH(QString, kind);
        QFETCH(QString, file);
        QFETCH(QString, appPath);
        QFETCH(QString, error);
        Browser b;
        load(b, QStringLiteral("Mate"), material());
        const QStringList listed = column(b.cells(), kId);
        const qint16 nodes = b.tree().NodeCount();
        b.view.setFindStyle(kind);
        b.view.SetAppPath(appPath);
        if (error == QLatin1String("DbError")) {
            QVERIFY_THROWS_EXCEPTION(kx::DbError, b.view.Load(file));
            QCOMPARE(b.view.GetDBFullName(), file);  // set before the failing step
        } else if (error == QLatin1String("ControlError")) {
            QVERIFY_THROWS_EXCEPTION(kx::ControlError, b.view.Load(file));
        } else {
            b.view.Load(file);
            QCOMPARE(b.tree().NodeCount(), nodes);  // tree and toolbar untouched
            QVERIFY(!b.tool("tLink")->isVisible());
        }
        QCOMPARE(column(b.cells(), kId), listed);  // the rows stay
        load(b, QStringLiteral("DataBook"), bill());
        QVERIFY(b.cells().Rows() > 1);
        load(b, QStringLiteral("DE"), quota());
        QVERIFY(b.tool("tLink")->isVisible() && b.tool("tMateIndex")->isVisible());
    }

    void categoryTableWithoutRowsKeepsTheGridRows() {
        const QString copy = m_app.scratch("empty-categories.QTCJ");
        QFile::remove(copy);
        QVERIFY(QFile::copy(material(), copy));
        modPub_DB::OpenDB(copy)->Execute(QStringLiteral("DELETE FROM MateIndex"));
        Browser b;
        load(b, QStringLiteral("Mate"), material());
        const QStringList listed = column(b.cells(), kId);
        b.cells().setCols(12);
        load(b, QStringLiteral("Mate"), copy);
        QCOMPARE(b.tree().NodeCount(), qint16(1));
        QCOMPARE(column(b.cells(), kId), listed);
        QCOMPARE(b.cells().Cols(), 10);  // the columns are reset
    }

    void failuresInsideNotificationsAreReportedNotThrown() {
        const QString copy = m_app.scratch("vanishing.QTDE");
        QFile::remove(copy);
        QVERIFY(QFile::copy(quota(), copy));
        MessageScope messages;
        Browser b;
        load(b, QStringLiteral("DE"), copy);
        const QStringList listed = column(b.cells(), kId);
        QVERIFY(QFile::remove(copy));
        b.clickNode(2);
        b.doubleClickRow(2);  // the row change that selects it fails as well as the double-click
        QCOMPARE(messages.service->shown().size(), 3);
        QCOMPARE(messages.service->shown().at(0).title, QStringLiteral("提示"));
        QVERIFY(!messages.service->shown().at(0).text.isEmpty());
        QCOMPARE(column(b.cells(), kId), listed);
        load(b, QStringLiteral("DE"), quota());  // and the control goes on
        QVERIFY(b.cells().Rows() > 1);
    }

private:
    QString appPath() const { return m_app.appPath(); }
    QString quota() const { return m_app.quota(); }
    QString material() const { return m_app.material(); }
    QString bill() const { return m_app.bill(); }

    QList<Item> quotaItems() const {
        return readItems(quota(), QStringLiteral("DM"), QStringLiteral("DECode"),
                         {"Code1", "Code2", "Code3", "Code4"});
    }

    void load(Browser& b, const QString& kind, const QString& file) const { b.load(m_app, kind, file); }

    static QString classOfNode(const QString& file, qint16 id) {
        auto db = modPub_DB::OpenDB(file);
        for (const char* table : {"DMIndex", "MateIndex", "QDIndex"}) {
            if (!modPub_DB::TableExists(*db, QLatin1String(table))) continue;
            return db
                ->OpenRecordset(
                    QStringLiteral("SELECT * FROM %1 WHERE ID=%2").arg(QLatin1String(table)).arg(id))
                ->Text(QStringLiteral("Class"));
        }
        return {};
    }

    static QList<bool> expandedNodes(kx::KXTree& tree) {
        QList<bool> out;
        for (qint16 i = 1; i <= tree.NodeCount(); ++i) out << tree.NodeAt(i).Expanded();
        return out;
    }

    static void chooseFromExtendMenu(Browser& b, int item) {
        QTimer::singleShot(0, [item] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QTest::mouseClick(menu, Qt::LeftButton, {},
                              menu->actionGeometry(menu->actions().at(item)).center());
        });
        QTest::mouseClick(b.tool("tEx"), Qt::LeftButton);
    }

    /// Checks every placement of the layout against the splitter's panes, in twips.
    static void checkLayout(Browser& b, const QString& kind, const kx::TwipRect& boxBefore,
                            const kx::TwipRect& headBefore) {
        const int W = kx::toTwips(b.view.width());
        const int H = kx::toTwips(b.view.height());
        const int T = kx::twipGeometry(b.toolbar()).height;
        QCOMPARE(kx::twipGeometry(b.toolbar()), (kx::TwipRect{0, 0, W, T}));
        QCOMPARE(kx::twipGeometry(b.Sp()), (kx::TwipRect{0, T, W, H - T}));
        const int P1 = b.Sp().upperPaneHeight(), P2 = b.Sp().lowerPaneTop(), P3 = b.Sp().lowerPaneBottom();
        QCOMPARE(P3, b.Sp().height());
        QCOMPARE(kx::twipGeometry(b.child("tree")), (kx::TwipRect{0, T, W, P1 * 15}));
        const kx::TwipRect box = kx::twipGeometry(b.child("box"));
        const kx::TwipRect head = kx::twipGeometry(b.child("KXHead1"));
        if (kind == QLatin1String("DE") || kind == QLatin1String("DataBook")) {
            const int h = headBefore.height;
            QCOMPARE(box, (kx::TwipRect{0, T + P2 * 15, W, (P3 - P2) * 15 - h - 30}));
            QCOMPARE(head, (kx::TwipRect{0, box.top + box.height + 20, W, h}));
            QCOMPARE(head.top + head.height, T + P3 * 15 - 10);
            QCOMPARE(kx::twipGeometry(b.child("txtSM")), (kx::TwipRect{10, 10, W - 30, h - 30}));
            QVERIFY(b.child("KXHead1").isVisible());
        } else if (kind == QLatin1String("Mate")) {
            QCOMPARE(box, (kx::TwipRect{0, T + P2 * 15, W, (P3 - P2) * 15}));
            QVERIFY(!b.child("KXHead1").isVisible());
        } else {
            QCOMPARE(box, boxBefore);
            QCOMPARE(head, headBefore);
            return;
        }
        QCOMPARE(kx::twipGeometry(b.F()), (kx::TwipRect{10, 10, box.width - 20, box.height - 30}));
    }

    SampleApp m_app;
};

QTEST_MAIN(KXViewTest)
#include "kxview_test.moc"
