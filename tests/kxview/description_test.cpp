// The description pane and the rows it inserts, driven on the real control over the sample directory: a
// quota item's text and conversion rows, a conversion's explanation, a bill item's sections and related
// quotas, and the failures the row changes meet.
#include <QAbstractItemModelTester>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include "browser_support.h"
#include "core/data/modpub_db.h"

using kx::KXView;
using namespace kxtest;

namespace {

/// Field `name` of the first row `sql` selects in `file`, read as text.
QString field(const QString& file, const QString& sql, const QString& name) {
    auto db = kx::openDatabase(file);
    return db->OpenRecordset(sql)->Text(name);
}

/// True when `sql` selects a row in `file`.
bool hasRow(const QString& file, const QString& sql) {
    return kx::openDatabase(file)->OpenRecordset(sql)->RecordCount() > 0;
}

/// A quota item's text as the pane must show it: work content, then CR and the notes when there are any.
QString quotaText(const QString& library, qint64 id) {
    const QString sql = QStringLiteral("SELECT * FROM DM WHERE ID=%1").arg(id);
    const QString notes = field(library, sql, "DESM");
    return field(library, sql, "WorkInfo") + (notes.isEmpty() ? QString() : "\r" + notes);
}

/// One inserted row: level, kind, own name (null: Null) and quota ID.
struct Related {
    int level;
    QString kind;
    QString name;
    qint64 dmid;
};

}  // namespace

class DescriptionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_app.ok()); }

    void quotaRowsShowWorkContentAndNotes() {
        for (int kinds = 0; kinds < 3; ++kinds)  // item 8 has three conversions of kinds outside 0 to 10
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("outside 0 to 10 and is left out"));
        Browser b;
        listQuotas(b, "010101");
        QStringList ids = column(b.cells(), kId);
        bool withNotes = false, withoutNotes = false;
        for (const QString& id : ids) {
            b.F().setRow(b.rowOfId(id.toLongLong()));
            const QString expected = quotaText(m_app.quota(), id.toLongLong());
            QCOMPARE(b.txtSM().Text(), expected);
            withNotes = withNotes || expected.contains('\r');
            withoutNotes = withoutNotes || !expected.contains('\r');
        }
        QVERIFY(withNotes && withoutNotes);
        QVERIFY(!b.txtSM().Text().contains('\n'));
    }

    void conversionRowsAreInsertedCollapsedUnderTheirItemOnce() {
        Browser b;
        listQuotas(b, "010102");
        QAbstractItemModelTester tester(&b.cells(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        const int rows = b.cells().Rows();
        const int r = b.rowOfId(42);
        const QStringList listed = column(b.cells(), kId);
        b.clickRow(r);
        const kx::GridModel& g = b.cells();
        QCOMPARE(g.Rows(), rows + 5);
        const QStringList names{"砂浆强度等级换算", "混凝土强度等级换算", "厚度每增减10mm",
                                "湿土施工 人工×1.18", "装配式构件替换现浇"};
        for (int i = 0; i < names.size(); ++i) {
            const int c = r + 1 + i;
            QCOMPARE(g.TextMatrix(c, kCode), QStringLiteral(" -%1").arg(i + 1));
            QCOMPARE(g.TextMatrix(c, kName), names[i]);
            QCOMPARE(g.TextMatrix(c, kOther), QStringLiteral("换算"));
            for (int col = kUnit; col <= kDEKey; ++col) QCOMPARE(g.TextMatrix(c, col), QString());
            QVERIFY(g.IsSubtotal(c));
            QCOMPARE(g.RowOutlineLevel(c), 1);
            for (int col = 1; col < g.Cols(); ++col) QCOMPARE(g.cellBackColor(c, col), QColor(245, 245, 245));
            QCOMPARE(g.cellForeColor(c, kOther), QColor(0, 0, 180));
            QVERIFY(b.F().isRowHidden(c - 1));
        }
        QStringList withoutConversions = column(g, kId);
        withoutConversions.remove(r, names.size());
        QCOMPARE(withoutConversions, listed);
        QCOMPARE(g.IsCollapsed(r), qint16(kx::OutlineCollapsed));
        QCOMPARE(g.RowData(r).toInt(), 1);

        b.clickRow(r, kCode);          // the current cell moves within the row: the handler runs again
        QCOMPARE(g.Rows(), rows + 5);  // looked up once until the grid is refilled
        QTest::keyClick(b.F().viewport(), Qt::Key_Return);
        QVERIFY(!b.F().isRowHidden(r) && !b.F().isRowHidden(r + 4));
        b.view.LoadData(m_app.quota(), "010102");
        QCOMPARE(b.cells().Rows(), rows);
    }

    void conversionRowShowsTheOrdinaryEntryOfItsCode() {
        Browser b;
        listQuotas(b, "010101");
        const int r = b.rowOfId(4);
        b.clickRow(r);
        QCOMPARE(b.cells().TextMatrix(r + 2, kCode), QStringLiteral(" -2"));
        QTest::keyClick(b.F().viewport(), Qt::Key_Return);
        b.clickRow(r + 2);
        // A kind-1 entry numbered 2 comes first in the list; only the kind-0 one is this row's.
        QCOMPARE(b.txtSM().Text(),
                 QStringLiteral("第二个普通换算：设计厚度与定额不同时，按每增减10mm调整。"));
        b.clickRow(r + 1);
        QCOMPARE(b.txtSM().Text(), QStringLiteral("设计砂浆强度等级与定额不同时，按设计换算砂浆单价。"));
        QCOMPARE(b.view.GetSelectMateID(), 0);  // a conversion row has no ID

        const int rows = b.cells().Rows();
        QSignalSpy de(&b.view, &KXView::DoubleClickDE);
        b.doubleClickRow(r + 2);
        QCOMPARE(de.count(), 1);
        QCOMPARE(de.at(0), (QVariantList{4, b.cells().TextMatrix(r, kCode),
                                         QString::fromUtf8(sample::names::kBuildingKey), qint16(2)}));
        QCOMPARE(b.cells().Rows(), rows);  // nothing is inserted under a conversion row
    }

    void itemsWithoutOrdinaryConversionsGetNoRows_data() {
        QTest::addColumn<qint64>("id");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("kinds 1, 10 and 3 only") << qint64(2) << QStringList{};
        QTest::newRow("no conversions at all") << qint64(1) << QStringList{};
        QTest::newRow("kinds out of range and Null are left out") << qint64(8) << QStringList{" -1", " -2"};
    }
    void itemsWithoutOrdinaryConversionsGetNoRows() {
        QFETCH(qint64, id);
        QFETCH(QStringList, codes);
        Browser b;
        listQuotas(b, "010101");
        const int rows = b.cells().Rows();
        const int r = b.rowOfId(id);
        for (int kinds = id == 8 ? 3 : 0; kinds > 0; --kinds)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("outside 0 to 10 and is left out"));
        b.clickRow(r);
        QCOMPARE(b.cells().Rows(), rows + codes.size());
        for (int i = 0; i < codes.size(); ++i) QCOMPARE(b.cells().TextMatrix(r + 1 + i, kCode), codes[i]);
        QCOMPARE(b.cells().RowData(r).toInt(), 1);
        QCOMPARE(b.cells().IsCollapsed(r),
                 qint16(codes.isEmpty() ? kx::OutlineExpanded : kx::OutlineCollapsed));
    }

    void materialRowsLeaveThePaneAlone() {
        Browser b;
        b.load(m_app, "Mate", m_app.material());
        b.txtSM().setText("before");
        const int rows = b.cells().Rows();
        b.clickRow(3);
        QCOMPARE(b.txtSM().Text(), QStringLiteral("before"));
        QCOMPARE(b.cells().Rows(), rows);
    }

    void billItemsShowTheirSections_data() {
        QTest::addColumn<qint64>("id");
        QTest::addColumn<QString>("pattern");  // %1 features, %2 work content, %3 rule
        QTest::newRow("all three") << qint64(5)
                                   << "【项目特征】\r\n%1\r\n【工作内容】\r\n%2\r\n【计算规则】\r\n%3";
        QTest::newRow("work content only, no leading break") << qint64(1) << "【工作内容】\r\n%2";
        QTest::newRow("empty work content between")
            << qint64(2) << "【项目特征】\r\n%1\r\n【计算规则】\r\n%3";
        QTest::newRow("rule only") << qint64(4) << "【计算规则】\r\n%3";
        QTest::newRow("none: the pane is emptied") << qint64(13) << "";
    }
    void billItemsShowTheirSections() {
        QFETCH(qint64, id);
        QFETCH(QString, pattern);
        Browser b;
        b.load(m_app, "DataBook", m_app.bill());
        b.view.LoadData(m_app.bill(), "");
        b.txtSM().setText("before");
        b.clickRow(b.rowOfId(id));
        const QString sql = QStringLiteral("SELECT * FROM DataBook WHERE ID=%1").arg(id);
        QString expected = pattern;
        expected.replace("%1", field(m_app.bill(), sql, "Feature"))
            .replace("%2", field(m_app.bill(), sql, "Content"))
            .replace("%3", field(m_app.bill(), sql, "Ruler"));
        QCOMPARE(b.txtSM().Text(), expected);
    }

    void billItemGetsItsRelatedQuotasCollapsedOnce() {
        Browser b;
        listBills(b, "010101");
        QAbstractItemModelTester tester(&b.cells(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        const int rows = b.cells().Rows();
        const int r = b.rowOfId(5);
        b.clickRow(r);
        // Nested two levels under "主体项目" and a heading per quota leaf; the first quota of each leaf has
        // no name of its own (Null, then ""), the second has one. The quota IDs are those the sample picks
        // for the first variant of "挖一般土方" (docs/library-schemas.md).
        const QList<Related> expected{
            {1, "Title", "主体项目", 0},         {2, "Title", "挖一般土方", 0}, {3, "DE", QString(), 1},
            {3, "DE", "挖一般土方（参考）", 4},  {2, "Title", "挖掘机挖土", 0}, {3, "DE", "", 161},
            {3, "DE", "挖掘机挖土（参考）", 164}};
        checkRelated(b, r, expected);
        QCOMPARE(b.cells().Rows(), rows + expected.size());
        QCOMPARE(b.cells().IsCollapsed(r), qint16(kx::OutlineCollapsed));
        QVERIFY(b.F().isRowHidden(r));

        b.view.LoadWithDE();   // the host asks again
        b.clickRow(r, kCode);  // and the current cell moves within the row
        QCOMPARE(b.cells().Rows(), rows + expected.size());
        checkRelated(b, r, expected);

        QTest::keyClick(b.F().viewport(), Qt::Key_Return);
        QVERIFY(!b.F().isRowHidden(r + 2));
        b.clickRow(r + 3);  // a related quota: its text from the quota library its key names
        QCOMPARE(b.txtSM().Text(), quotaText(m_app.quota(), 1));
        b.clickRow(r + 1);  // a heading
        QCOMPARE(b.txtSM().Text(), QString());

        QSignalSpy de(&b.view, &KXView::DoubleClickDE);
        b.doubleClickRow(r + 4);
        QCOMPARE(de.count(), 1);
        QCOMPARE(de.at(0), (QVariantList{4, field(m_app.quota(), "SELECT * FROM DM WHERE ID=4", "DECode"),
                                         QString::fromUtf8(sample::names::kBuildingKey), qint16(0)}));
    }

    void relatedQuotaMissingFromItsLibraryKeepsItsOwnTexts() {
        Browser b;
        listBills(b, "010101");
        const int r = b.rowOfId(6);
        b.clickRow(r);
        const QList<Related> expected{{1, "DE", QString(), 2},
                                      {1, "DE", "挖一般土方（参考）", 5},
                                      {1, "DE", "", 162},
                                      {1, "DE", "挖掘机挖土（参考）", 165},
                                      {1, "DE", "场内清理（补充子目）", 999999}};
        checkRelated(b, r, expected);
    }

    void billItemsWithoutRelatedRows_data() {
        QTest::addColumn<QString>("cls");
        QTest::addColumn<qint64>("id");
        QTest::addColumn<int>("collapsed");
        QTest::newRow("no rows: marked all the same") << "010101" << qint64(4) << int(kx::OutlineCollapsed);
        QTest::newRow("no WithDE_05 table: left as it is")
            << "050101" << qint64(137) << int(kx::OutlineExpanded);
    }
    void billItemsWithoutRelatedRows() {
        QFETCH(QString, cls);
        QFETCH(qint64, id);
        QFETCH(int, collapsed);
        Browser b;
        listBills(b, cls);
        const int rows = b.cells().Rows();
        const int r = b.rowOfId(id);
        QVERIFY(r > 0);
        b.clickRow(r);
        QCOMPARE(b.cells().Rows(), rows);
        QCOMPARE(b.cells().IsCollapsed(r), qint16(collapsed));
        QVERIFY(!b.cells().hasChildRows(r));
    }

    void lastRowGetsItsRelatedQuotas() {
        Browser b;
        listBills(b, "010101");
        const int r = b.rowOfId(5);
        b.cells().setRows(r + 1);
        b.clickRow(r);
        QCOMPARE(b.cells().Rows(), r + 8);
        QCOMPARE(b.cells().TextMatrix(r + 1, kName), QStringLiteral("主体项目"));
    }

    void uninstalledLibraryEndsWithAnErrorAndKeepsTheRowsBefore() {
        MessageScope messages;
        Browser b;
        listBills(b, "010101");
        const int rows = b.cells().Rows();
        const int r = b.rowOfId(7);  // its last related row names the municipal library, not installed
        b.clickRow(r);
        QCOMPARE(messages.service->shown().size(), 1);
        QCOMPARE(messages.service->shown().at(0).title, QStringLiteral("提示"));
        QVERIFY(
            messages.service->shown().at(0).text.contains(QString::fromUtf8(sample::names::kMunicipalKey)));
        QCOMPARE(b.cells().Rows(), rows + 6);  // the heading, four quotas and the failing row
        QCOMPARE(b.cells().IsCollapsed(r), qint16(kx::OutlineExpanded));
        b.clickRow(r, kCode);  // the rows are there: nothing is looked up again
        QCOMPARE(messages.service->shown().size(), 1);

        // The host's own call ends with the error.
        b.view.LoadData(m_app.bill(), "010101");
        b.view.setFindStyle("Mate");  // selecting the row now leaves it alone
        b.F().setRow(r);
        b.view.setFindStyle("DataBook");
        QVERIFY_THROWS_EXCEPTION(kx::DbError, b.view.LoadWithDE());
        b.clickRow(b.rowOfId(5));  // and the control goes on
        QCOMPARE(b.cells().IsCollapsed(b.rowOfId(5)), qint16(kx::OutlineCollapsed));
    }

    void failingQuotaLibraryLeavesThePaneAndGrid() {
        const QString copy = m_app.scratch("vanishing-for-pane.QTDE");
        QVERIFY(QFile::copy(m_app.quota(), copy));
        MessageScope messages;
        Browser b;
        b.load(m_app, "DE", copy);
        b.view.LoadData(copy, "010102");
        b.clickRow(1);
        const QString text = b.txtSM().Text();
        const QStringList listed = column(b.cells(), kCode);
        QVERIFY(QFile::remove(copy));
        b.clickRow(b.rowOfId(42));
        QCOMPARE(messages.service->shown().size(), 1);
        QCOMPARE(b.txtSM().Text(), text);
        QCOMPARE(column(b.cells(), kCode), listed);
    }

private:
    void listQuotas(Browser& b, const QString& cls) {
        b.load(m_app, "DE", m_app.quota());
        b.view.LoadData(m_app.quota(), cls);
    }
    void listBills(Browser& b, const QString& cls) {
        b.load(m_app, "DataBook", m_app.bill());
        b.view.LoadData(m_app.bill(), cls);
    }

    /// Checks the rows below bill row `r` against `expected`, the quota rows completed from the library.
    void checkRelated(Browser& b, int r, const QList<Related>& expected) {
        const kx::GridModel& g = b.cells();
        for (int i = 0; i < expected.size(); ++i) {
            const Related& e = expected[i];
            const int row = r + 1 + i;
            QCOMPARE(g.RowOutlineLevel(row), e.level);
            QVERIFY(g.IsSubtotal(row));
            QVERIFY(g.MergeRow(row));
            QCOMPARE(g.TextMatrix(row, kRowKind), e.kind);
            QCOMPARE(g.TextMatrix(row, kDEKey), QString::fromUtf8(sample::names::kBuildingKey));
            QCOMPARE(g.TextMatrix(row, kId), e.dmid ? QString::number(e.dmid) : QString());
            const QString sql = QStringLiteral("SELECT * FROM DM WHERE ID=%1").arg(e.dmid);
            QString text = e.name;
            QString unit;
            if (e.kind == "DE" && hasRow(m_app.quota(), sql)) {
                const QString name = e.name.isEmpty() ? field(m_app.quota(), sql, "Name") : e.name;
                text = field(m_app.quota(), sql, "DECode") + " " + name;
                unit = field(m_app.quota(), sql, "Unit");
            }
            QCOMPARE(g.TextMatrix(row, kCode), text);
            QCOMPARE(g.TextMatrix(row, kName), text);
            QCOMPARE(g.TextMatrix(row, kUnit), unit);
            for (int col = 1; col < g.Cols(); ++col) {
                QCOMPARE(g.cellBackColor(row, col), QColor(240, 240, 240));
                QCOMPARE(g.cellFontBold(row, col), e.kind != "DE");
            }
        }
    }

    SampleApp m_app;
};

QTEST_MAIN(DescriptionTest)
#include "description_test.moc"
