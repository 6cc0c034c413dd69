// KXTree over real Jet files: the sample's category tables and catalogues, and small tables written here
// whose order, parents and IDs are irregular.
#include <QAbstractItemModelTester>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "core/data/modpub_db.h"
#include "core/db/dbengine.h"
#include "gui_support.h"
#include "jet/database.h"
#include "jet/writer.h"
#include "kxview/errors.h"
#include "sample/names.h"
#include "sample_fixture.h"
#include "widgets/controls/kxtree.h"

using kx::KXTree;

namespace {

/// One row of a small tree table: ID, ParentID, Name, OCode (0: Null).
struct TreeRow {
    int64_t id;
    int64_t parentId;
    const char* name;
    int64_t order;
};

/// Writes table `table` (ID, ParentID, Name, OCode) holding `rows` into a new database `path`.
void writeTreeTable(const QString& path, const QString& table, const QList<TreeRow>& rows) {
    QVERIFY(jet::createDatabase(path.toStdString()).ok());
    jet::OpenOptions options;
    options.mode = jet::OpenMode::ReadWrite;
    auto db = jet::Database::open(path.toStdString(), options);
    QVERIFY(db.ok());
    jet::TableSpec spec;
    spec.name = table.toStdString();
    spec.columns = {{"ID", jet::ColumnType::Long},
                    {"ParentID", jet::ColumnType::Long},
                    {"Name", jet::ColumnType::Text, 100},
                    {"OCode", jet::ColumnType::Long}};
    std::vector<jet::Row> values;
    for (const TreeRow& r : rows)
        values.push_back(
            {r.id, r.parentId, std::string(r.name), r.order ? jet::Value(r.order) : jet::Value()});
    const jet::Status s = jet::createTable(**db, spec, values);
    QVERIFY2(s.ok(), s.toString().c_str());
}

QStringList captions(KXTree& tree) {
    QStringList out;
    for (qint16 i = 1; i <= tree.NodeCount(); ++i) out << tree.NodeAt(i).Text();
    return out;
}

using kxtest::treeNodeIndex;
using kxtest::treeView;

}  // namespace

class KXTreeTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(QFileInfo(kxtest::sampleApp()).isDir());  // read only: tests that write use copies
    }

    void categoryTableHangsBelowALibraryNode() {
        KXTree tree;
        QAbstractItemModelTester tester(treeView(tree)->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        tree.LoadTree(building(), QStringLiteral("DMIndex"));
        QCOMPARE(tree.NodeCount(), qint16(111));
        QCOMPARE(tree.NodeID(1), qint16(0));
        QCOMPARE(tree.NodeAt(1).Text(), QString::fromUtf8(sample::names::kBuildingTitle));
        QVERIFY(tree.NodeAt(1).Expanded());
        QCOMPARE(captions(tree).mid(1, 4),
                 (QStringList{"土石方工程", "人工土石方", "挖一般土方", "挖沟槽土方"}));
        QCOMPARE(tree.NodeID(2), qint16(1));
        QCOMPARE(captions(tree).last(), QStringLiteral("全部子目"));
        QCOMPARE(tree.SelectedID(), qint16(0));  // nothing is selected without a default ID
        QCOMPARE(tree.SelectedIndex(), qint16(0));
    }

    void siblingsFollowOCodeAndStrayRowsReachTheTopLevel() {
        const QString path = m_dir.filePath("order.mdb");
        // IDs against OCode order; 5 and 6 are each other's parent; 7's parent does not exist; 8 has no
        // OCode.
        writeTreeTable(path, QStringLiteral("Cats"),
                       {{1, 0, "c", 3},
                        {2, 0, "a", 1},
                        {3, 0, "b", 2},
                        {4, 2, "a2", 9},
                        {9, 2, "a1", 4},
                        {5, 6, "loop5", 5},
                        {6, 5, "loop6", 6},
                        {7, 42, "orphan", 7},
                        {8, 0, "no order", 0}});
        KXTree tree;
        QAbstractItemModelTester tester(treeView(tree)->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        tree.LoadTree(path, QStringLiteral("Cats"));
        QCOMPARE(captions(tree),
                 (QStringList{"order", "a", "a1", "a2", "b", "c", "orphan", "no order", "loop5", "loop6"}));
    }

    void catalogueShowsItsEntriesAndTestsFileEntries() {
        KXTree tree;
        QAbstractItemModelTester tester(treeView(tree)->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        tree.setDefaultID(6);
        tree.LoadTree(quotaCatalogue(), QStringLiteral("Index"));
        QCOMPARE(
            captions(tree),
            (QStringList{"建筑工程", "2018年建筑工程消耗量定额", "安装工程", "2018年安装工程消耗量定额",
                         "市政工程", "2018年市政工程消耗量定额", "其他专业", "2018年园林绿化工程消耗量定额",
                         "2018年仿古建筑工程消耗量定额", "2018年房屋修缮工程消耗量定额"}));
        QCOMPARE(tree.SelectedID(), qint16(6));
        QCOMPARE(tree.SelectedIndex(), qint16(4));
        QVERIFY2(tree.NodeAt(3).Expanded(), "the selected node's parents open");
        QVERIFY(tree.TestNode(5));
        QVERIFY2(!tree.TestNode(1), "a group entry names no file");
        QVERIFY(!tree.TestNode(99));
    }

    void userSelectionsRaiseNodeClickAndProgramSelectionsDoNot() {
        KXTree tree;
        tree.resize(300, 400);
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        tree.LoadTree(building(), QStringLiteral("DMIndex"));
        QSignalSpy clicks(&tree, &KXTree::NodeClick);
        QSignalSpy doubleClicks(&tree, &KXTree::NodeDblClick);
        tree.NodeAt(2).setSelected(true);
        QVERIFY(tree.NodeAt(2).Selected());
        QCOMPARE(clicks.count(), 0);

        QTreeView* view = treeView(tree);
        const QPoint node2 = view->visualRect(treeNodeIndex(tree, 2)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, node2);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, node2);
        QCOMPARE(clicks.count(), 2);  // clicking the selected node again raises it again
        QCOMPARE(clicks.at(0).at(0).value<qint16>(), qint16(1));
        QCOMPARE(clicks.at(0).at(1).toString(), QStringLiteral("土石方工程"));

        tree.NodeAt(2).setExpanded(true);
        QTest::keyClick(view->viewport(), Qt::Key_Down);
        QCOMPARE(clicks.count(), 3);
        QCOMPARE(clicks.last().at(0).value<qint16>(), tree.NodeID(3));
        QCOMPARE(tree.SelectedIndex(), qint16(3));

        kxtest::doubleClick(view->viewport(), view->visualRect(treeNodeIndex(tree, 3)).center());
        QCOMPARE(doubleClicks.count(), 1);
        QCOMPARE(doubleClicks.at(0).at(0).value<qint16>(), tree.NodeID(3));
    }

    void everyNodeCanBeExpandedLeavesIncluded() {
        KXTree tree;
        tree.LoadTree(building(), QStringLiteral("DMIndex"));
        for (qint16 i = 1; i <= tree.NodeCount(); ++i) tree.NodeAt(i).setExpanded(true);
        for (qint16 i = 1; i <= tree.NodeCount(); ++i) QVERIFY(tree.NodeAt(i).Expanded());
        QVERIFY(treeView(tree)->isExpanded(treeNodeIndex(tree, 2)));
        tree.NodeAt(2).setExpanded(false);
        QVERIFY(!treeView(tree)->isExpanded(treeNodeIndex(tree, 2)));
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, tree.NodeAt(0));
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, tree.NodeAt(112));
    }

    void imagesShowTheSelectedImageWhileSelected() {
        KXTree tree;
        QPixmap normal(16, 16), chosen(16, 16);
        normal.fill(Qt::blue);
        chosen.fill(Qt::green);
        tree.setImageList({QIcon(normal), QIcon(chosen)});
        tree.setNodeImage(1);
        tree.LoadTree(quotaCatalogue(), QStringLiteral("Index"));
        QCOMPARE(tree.NodeAt(2).Image(), qint16(1));
        tree.NodeAt(2).setSelectedImage(2);
        auto decoration = [&] {
            return treeView(tree)->model()->data(treeNodeIndex(tree, 2), Qt::DecorationRole).value<QIcon>();
        };
        QCOMPARE(decoration().pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::blue));
        tree.NodeAt(2).setSelected(true);
        QCOMPARE(decoration().pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::green));
    }

    void addAndDeleteWriteTheLoadedTable() {
        const QString path = m_dir.filePath("DEIndex-copy.mdb");
        QFile::remove(path);
        QVERIFY(QFile::copy(quotaCatalogue(), path));
        KXTree tree;
        QAbstractItemModelTester tester(treeView(tree)->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        tree.LoadTree(path, QStringLiteral("Index"));
        tree.NodeAt(2).setSelected(true);
        tree.AddNode(QStringLiteral("新增定额库"));
        QCOMPARE(tree.NodeCount(), qint16(11));
        QCOMPARE(tree.SelectedID(), qint16(11));
        QCOMPARE(tree.NodeAt(11).Text(), QStringLiteral("新增定额库"));
        {
            auto db = modPub_DB::OpenDB(path);
            auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM Index WHERE ID=11"));
            QCOMPARE(rs->Text(QStringLiteral("Name")), QStringLiteral("新增定额库"));
            QCOMPARE(rs->Value(QStringLiteral("ParentID")).toInt(), 1);  // a sibling of the selected entry
            QCOMPARE(rs->Value(QStringLiteral("OCode")).toInt(), 11);
        }
        KXTree reloaded;
        reloaded.LoadTree(path, QStringLiteral("Index"));
        QCOMPARE(captions(reloaded).mid(0, 3),
                 (QStringList{"建筑工程", "2018年建筑工程消耗量定额", "新增定额库"}));

        tree.NodeAt(1).setSelected(true);
        tree.DeleteSelected();
        QCOMPARE(tree.SelectedID(), qint16(0));
        QCOMPARE(captions(tree),
                 (QStringList{"安装工程", "2018年安装工程消耗量定额", "市政工程", "2018年市政工程消耗量定额",
                              "其他专业", "2018年园林绿化工程消耗量定额", "2018年仿古建筑工程消耗量定额",
                              "2018年房屋修缮工程消耗量定额"}));
        auto db = modPub_DB::OpenDB(path);
        QCOMPARE(db->OpenRecordset(QStringLiteral("SELECT * FROM Index WHERE ID=1"))->RecordCount(), 0);
        QCOMPARE(db->OpenRecordset(QStringLiteral("SELECT * FROM Index WHERE ID=5"))->RecordCount(),
                 1);  // only the node's own row is deleted, not its children's
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, tree.DeleteSelected());
    }

    void failedLoadsKeepTheTree_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::newRow("missing table") << building() << "QDIndex";
        QTest::newRow("not a database") << kxtest::sampleApp() + "/System/Ico/Edit/Kind.ico"
                                        << "DMIndex";
        QTest::newRow("missing file") << m_dir.filePath("nothing.QTDE") << "DMIndex";
    }
    void failedLoadsKeepTheTree() {
        QFETCH(QString, file);
        QFETCH(QString, table);
        KXTree tree;
        tree.LoadTree(quotaCatalogue(), QStringLiteral("Index"));
        QVERIFY_THROWS_EXCEPTION(kx::DbError, tree.LoadTree(file, table));
        QCOMPARE(tree.NodeCount(), qint16(10));
    }

    void idsBeyondSixteenBitsAreRefused() {
        const QString path = m_dir.filePath("wide.mdb");
        writeTreeTable(path, QStringLiteral("Cats"), {{1, 0, "ok", 1}, {40000, 0, "too wide", 2}});
        KXTree tree;
        QVERIFY_THROWS_EXCEPTION(kx::ControlError, tree.LoadTree(path, QStringLiteral("Cats")));
        QCOMPARE(tree.NodeCount(), qint16(0));
    }

private:
    static QString quotaFolder() {
        return kxtest::sampleApp() + QLatin1Char('/') + QString::fromUtf8(sample::names::kQuotaDir) +
               QLatin1Char('/');
    }
    static QString building() {
        return quotaFolder() + QString::fromUtf8(sample::names::kBuildingTitle) + QStringLiteral(".QTDE");
    }
    static QString quotaCatalogue() { return quotaFolder() + QStringLiteral("DEIndex.mdb"); }

    QTemporaryDir m_dir;
};

QTEST_MAIN(KXTreeTest)
#include "kxtree_test.moc"
