// Find and price columns on the real control over the sample directory: the find dialog answered by the
// test's script, finds of both kinds on every field of every library kind, and price columns added,
// refilled and cleared, from good and from bad price files.
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>
#include <algorithm>
#include <map>

#include "browser_support.h"
#include "core/data/modpub_db.h"
#include "widgets/browser/frmpub_find.h"
#include "widgets/browser/item_rows.h"
#include "widgets/browser/library_profile.h"
#include "widgets/browser/price_columns.h"
#include "widgets/controls/kxpicture.h"
#include "widgets/controls/kxtext.h"

using namespace kxtest;

namespace {

const QString kFind = QStringLiteral("frmPub_Find");

/// What a user does in the find dialog: the text, the field option and the mode option to choose.
struct FindInput {
    QString text;
    const char* field;  // "opt1" code, "opt2" name, "opt3" unit
    const char* mode;   // "optkind1" contains, "optKind2" equals
};

void choose(QDialog& dialog, const FindInput& input) {
    dialog.findChild<kx::KXText*>("txtFindName")->setText(input.text);
    dialog.findChild<QRadioButton*>(input.field)->click();
    dialog.findChild<QRadioButton*>(input.mode)->click();
}

void click(QDialog& dialog, const char* button) {
    QTest::mouseClick(dialog.findChild<kx::KXPicture*>(button), Qt::LeftButton);
}

/// Every row of `table` as ID -> the text of `fieldName`, Null as a null QString.
std::map<qint64, QString> fieldById(const QString& file, const QString& table, const QString& fieldName) {
    std::map<qint64, QString> out;
    auto db = kx::openDatabase(file);
    for (auto rs = db->OpenRecordset(table); !rs->isEOF(); rs->MoveNext()) {
        const QVariant v = rs->Value(fieldName);
        out[rs->Value("ID").toLongLong()] = v.isNull() ? QString() : rs->Text(fieldName);
    }
    return out;
}

/// Prices of a price file: the item ID -> price, from `table` (Price or DMPrice).
std::map<qint64, double> prices(const QString& file, const QString& table, const QString& idField,
                                const QString& priceField) {
    std::map<qint64, double> out;
    auto db = kx::openDatabase(file);
    for (auto rs = db->OpenRecordset(table); !rs->isEOF(); rs->MoveNext())
        out[rs->Value(idField).toLongLong()] = rs->Value(priceField).toDouble();
    return out;
}

QStringList sortedIds(const kx::GridModel& g) {
    QStringList ids = column(g, kId);
    std::sort(ids.begin(), ids.end(),
              [](const QString& a, const QString& b) { return a.toLongLong() < b.toLongLong(); });
    return ids;
}

}  // namespace

class FindPriceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_app.ok()); }

    void findDialogOffersTheLastConfirmedTextWithNameAndContains() {
        DialogScope dialogs;
        Browser b;
        b.load(m_app, "DE", m_app.quota());
        QStringList offered;
        auto checkOpening = [&](QDialog& d) {
            offered << d.findChild<kx::KXText*>("txtFindName")->Text();
            QVERIFY(d.findChild<QRadioButton*>("opt2")->isChecked());
            QVERIFY(d.findChild<QRadioButton*>("optkind1")->isChecked());
        };
        dialogs.service->queue(kFind, [&](QDialog& d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("查找与替换"));
            const std::pair<const char*, const char*> captions[] = {{"optkind1", "1.模糊查找"},
                                                                    {"optKind2", "2.精确查找"},
                                                                    {"opt1", "1.编号"},
                                                                    {"opt2", "2.名称"},
                                                                    {"opt3", "3.单位"}};
            for (const auto& [name, caption] : captions)
                QCOMPARE(d.findChild<QRadioButton*>(name)->text(), QString::fromUtf8(caption));
            QCOMPARE(d.findChild<QGroupBox*>("fra1")->title(), QStringLiteral("查找方式"));
            QCOMPARE(d.findChild<QGroupBox*>("fra")->title(), QStringLiteral("查找内容"));
            QCOMPARE(d.findChild<QLabel*>("lbl1")->text(), QStringLiteral("查找内容："));
            checkOpening(d);
            choose(d, {"1-1", "opt1", "optKind2"});
            click(d, "cmdSure");
        });
        b.view.FindOne();
        QCOMPARE(column(b.cells(), kCode), QStringList{"1-1"});

        dialogs.service->queue(kFind, [&](QDialog& d) {
            checkOpening(d);  // the choices of last time are not kept
            choose(d, {"砖", "opt2", "optkind1"});
            click(d, "cmdCancel");
        });
        dialogs.service->queue(kFind, [&](QDialog& d) {
            checkOpening(d);
            d.reject();  // closed by the window's own means
        });
        dialogs.service->queue(kFind, [&](QDialog& d) {
            checkOpening(d);
            auto* edit = d.findChild<QLineEdit*>("edit");
            edit->setText("三类土 深度8m以内");
            QTest::keyClick(edit, Qt::Key_Return);  // Enter in the text box confirms
        });
        b.view.LoadData(m_app.quota(), "01");
        const QStringList chapter = column(b.cells(), kId);
        b.view.FindOne();
        QCOMPARE(column(b.cells(), kId), chapter);
        b.view.FindOne();
        QCOMPARE(column(b.cells(), kId), chapter);
        b.view.FindOne();
        QVERIFY(b.cells().Rows() > 1 && column(b.cells(), kId) != chapter);
        for (const QString& name : column(b.cells(), kName)) QVERIFY(name.contains("三类土 深度8m以内"));
        QCOMPARE(offered, (QStringList{"", "1-1", "1-1", "1-1"}));  // the cancelled text is not offered
        QVERIFY(dialogs.service->timedOut().isEmpty());
    }

    void findsEveryFieldOfEveryKind_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("field");  // the table field the option searches
        QTest::addColumn<QString>("option");
        QTest::addColumn<bool>("equals");
        QTest::addColumn<QString>("text");
        QTest::newRow("quota code contains (DECode)") << "DE"
                                                      << "DECode"
                                                      << "opt1" << false << "4-2";
        QTest::newRow("quota code equals") << "DE"
                                           << "DECode"
                                           << "opt1" << true << "4-27";
        QTest::newRow("quota name contains") << "DE"
                                             << "Name"
                                             << "opt2" << false << "四类土";
        QTest::newRow("quota name equals") << "DE"
                                           << "Name"
                                           << "opt2" << true << "矩形柱 C30 商品混凝土";
        QTest::newRow("quota unit contains") << "DE"
                                             << "Unit"
                                             << "opt3" << false << "m2";
        QTest::newRow("quota unit equals") << "DE"
                                           << "Unit"
                                           << "opt3" << true << "t";
        QTest::newRow("empty text contains every non-Null name") << "DE"
                                                                 << "Name"
                                                                 << "opt2" << false << "";
        QTest::newRow("empty text equals no Null name") << "DE"
                                                        << "Name"
                                                        << "opt2" << true << "";
        QTest::newRow("material code contains") << "Mate"
                                                << "Code"
                                                << "opt1" << false << "0702";
        QTest::newRow("material code equals") << "Mate"
                                              << "Code"
                                              << "opt1" << true << "01020003";
        QTest::newRow("material name contains") << "Mate"
                                                << "Name"
                                                << "opt2" << false << "HRB400";
        QTest::newRow("material name equals") << "Mate"
                                              << "Name"
                                              << "opt2" << true << "水泥 P.O 42.5";
        QTest::newRow("material unit contains") << "Mate"
                                                << "Unit"
                                                << "opt3" << false << "m";
        QTest::newRow("material unit equals") << "Mate"
                                              << "Unit"
                                              << "opt3" << true << "千块";
        QTest::newRow("bill code contains") << "DataBook"
                                            << "Code"
                                            << "opt1" << false << "0105";
        QTest::newRow("bill code equals") << "DataBook"
                                          << "Code"
                                          << "opt1" << true << "010401001003";
        QTest::newRow("bill name contains") << "DataBook"
                                            << "Name"
                                            << "opt2" << false << "土方";
        QTest::newRow("bill name equals") << "DataBook"
                                          << "Name"
                                          << "opt2" << true << "砖基础";
        QTest::newRow("bill unit contains") << "DataBook"
                                            << "Unit"
                                            << "opt3" << false << "m";
        QTest::newRow("bill unit equals") << "DataBook"
                                          << "Unit"
                                          << "opt3" << true << "t";
    }
    void findsEveryFieldOfEveryKind() {
        QFETCH(QString, kind);
        QFETCH(QString, field);
        QFETCH(QString, option);
        QFETCH(bool, equals);
        QFETCH(QString, text);
        const QString file = kind == "DE" ? m_app.quota() : kind == "Mate" ? m_app.material() : m_app.bill();
        const QString table = kind == "DE" ? "DM" : kind;
        QStringList expected;
        for (const auto& [id, value] : fieldById(file, table, field)) {
            const bool match = equals ? !value.isNull() && value.compare(text, Qt::CaseInsensitive) == 0
                                      : !value.isNull() && value.contains(text, Qt::CaseInsensitive);
            if (match) expected << QString::number(id);
        }
        QVERIFY(equals && text.isEmpty() ? expected.isEmpty() : !expected.isEmpty());

        DialogScope dialogs;
        Browser b;
        b.load(m_app, kind, file);
        const QByteArray opt = option.toLatin1();
        dialogs.service->queue(kFind, [&](QDialog& d) {
            choose(d, {text, opt.constData(), equals ? "optKind2" : "optkind1"});
            click(d, "cmdSure");
        });
        b.view.FindOne();
        QCOMPARE(sortedIds(b.cells()), expected);
        for (int r = 1; r < b.cells().Rows(); ++r) {
            QCOMPARE(b.cells().IsSubtotal(r), kind != "Mate");  // each kind's own fill
            QCOMPARE(b.cells().TextMatrix(r, kRowKind), kind == "DataBook" ? QString("DataBook") : QString());
        }
    }

    void findByToolbarAndTextsTheEngineRejects() {
        DialogScope dialogs;
        MessageScope messages;
        Browser b;
        b.load(m_app, "Mate", m_app.material());
        const QStringList listed = column(b.cells(), kId);
        dialogs.service->queue(kFind, [](QDialog& d) {
            choose(d, {"it's", "opt2", "optkind1"});
            click(d, "cmdSure");
        });
        QVERIFY_THROWS_EXCEPTION(kx::DbError, b.view.FindOne());
        QCOMPARE(column(b.cells(), kId), listed);

        dialogs.service->queue(kFind, [](QDialog& d) {
            choose(d, {"'", "opt1", "optKind2"});
            click(d, "cmdSure");
        });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("find tool failed"));
        QTest::mouseClick(b.tool("tFind"), Qt::LeftButton);
        QCOMPARE(messages.service->shown().size(), 1);
        QCOMPARE(column(b.cells(), kId), listed);

        dialogs.service->queue(kFind, [](QDialog& d) {
            choose(d, {"钢", "opt2", "optkind1"});
            click(d, "cmdSure");
        });
        b.view.setFindStyle("Quota");  // no kind: no table to search
        QVERIFY_THROWS_EXCEPTION(kx::DbError, b.view.FindOne());
    }

    void materialFindFillsPriceColumnsAndKeepsTheMaterialKey() {
        const QString other = m_app.scratch("other-key.QTCJ");
        QVERIFY(QFile::copy(m_app.material(), other));
        kx::openDatabase(other)->Execute("UPDATE KeyInfo SET WithCode='CJ2099' WHERE Code='Key'");
        DialogScope dialogs;
        Browser b;
        b.view.SetPriceDBFullPath(priceFile());
        b.load(m_app, "Mate", m_app.material());
        b.view.LoadData(other, "01");  // lists another library's category: its key becomes MateKey
        QCOMPARE(b.view.GetSelectMateKey(), QStringLiteral("CJ2099"));
        dialogs.service->queue(kFind, [](QDialog& d) {
            choose(d, {"钢", "opt2", "optkind1"});
            click(d, "cmdSure");
        });
        b.view.FindOne();
        QVERIFY(b.cells().Rows() > 10);
        checkPriceColumn(b, 10, priceFile(), "Mate");
        QCOMPARE(b.view.GetSelectMateKey(), QStringLiteral("CJ2099"));
    }

    void loadAddsThePriceColumnOfPriceDBFullPathOnce() {
        Browser b;
        b.view.SetPriceDBFullPath(priceFile());
        b.load(m_app, "Mate", m_app.material());
        const kx::GridModel& g = b.cells();
        QCOMPARE(g.Cols(), 11);
        QCOMPARE(g.TextMatrix(0, 10), QStringLiteral("京24.01"));
        QCOMPARE(g.ColWidth(10), 1000);
        QCOMPARE(g.ColAlignment(10), Qt::AlignRight);
        QCOMPARE(g.ColKey(10), priceFile());
        checkPriceColumn(b, 10, priceFile(), "Mate");

        b.view.Load(m_app.material());
        QCOMPARE(g.Cols(), 11);
        b.view.ClearPrice();
        QCOMPARE(g.Cols(), 10);
        b.view.Load(m_app.material());  // the price file is kept
        QCOMPARE(g.Cols(), 11);
        QCOMPARE(g.ColKey(10), priceFile());

        b.view.SetPriceDBFullPath(m_app.scratch("no-such-price.QTJG"));
        MessageScope messages;
        b.view.Load(m_app.material());
        QCOMPARE(g.Cols(), 10);  // a file that does not exist is skipped without a word
        QVERIFY(messages.service->shown().isEmpty());
    }

    void secondPriceColumnRefillsAndDuplicatesAreRefused() {
        MessageScope messages;
        Browser b;
        b.view.SetPriceDBFullPath(priceFile());
        b.load(m_app, "Mate", m_app.material());
        const QString second = m_app.priceFile("北京2024年2月信息价");
        b.view.AddPriceColumn(second);
        QCOMPARE(b.cells().Cols(), 12);
        QCOMPARE(b.cells().TextMatrix(0, 11), QStringLiteral("京24.02"));
        checkPriceColumn(b, 11, second, "Mate");
        b.view.AddPriceColumn(second);
        b.view.AddPriceColumn(priceFile());
        QCOMPARE(b.cells().Cols(), 12);
        QCOMPARE(messages.service->shown().size(), 2);
        QCOMPARE(messages.service->shown().at(0).text, QStringLiteral("价格已经存在！"));
        QCOMPARE(messages.service->shown().at(0).title, QStringLiteral("提示"));
        QCOMPARE(messages.service->shown().at(0).icon, kx::MessageBoxSpec::Icon::Warning);

        b.view.LoadData(m_app.material(), "07");  // a new listing gets both columns' prices at once
        checkPriceColumn(b, 10, priceFile(), "Mate");
        checkPriceColumn(b, 11, second, "Mate");
        b.view.ClearPrice();
        QCOMPARE(b.cells().Cols(), 10);
    }

    void quotaPricesSkipRowsWithoutAnId() {
        Browser b;
        b.view.SetPriceDBFullPath(priceFile());
        b.load(m_app, "DE", m_app.quota());
        b.view.LoadData(m_app.quota(), "010101");
        checkPriceColumn(b, 10, priceFile(), "DE");
        const int r = b.rowOfId(4);
        b.clickRow(r);  // two conversion rows below it, without IDs: no lookup touches their cells
        b.cells().setTextMatrix(r + 1, 10, "kept");
        kx::PriceColumns(b.F(), &b.view).FillPriceColumn(10, kx::libraryProfile("DE").prices);
        QCOMPARE(b.cells().TextMatrix(r + 1, 10), QStringLiteral("kept"));
        QCOMPARE(b.cells().TextMatrix(r + 2, 10), QString());
    }

    void fillsFromKeptTablesEqualTheStatementsCellByCell_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("category");
        QTest::newRow("materials") << "Mate"
                                   << "07";
        QTest::newRow("quota items with conversion rows") << "DE"
                                                          << "010101";
    }
    void fillsFromKeptTablesEqualTheStatementsCellByCell() {
        QFETCH(QString, kind);
        QFETCH(QString, category);
        const QString prices = m_app.scratch("kept-" + kind + ".QTJG");
        QFile::remove(prices);
        QVERIFY(QFile::copy(priceFile(), prices));
        const QString library = kind == "Mate" ? m_app.material() : m_app.quota();
        Browser b;
        b.view.SetPriceDBFullPath(prices);
        b.load(m_app, kind, library);
        b.view.LoadData(library, category);
        if (kind == "DE") b.clickRow(b.rowOfId(4));  // conversion rows, which get no lookup
        const kx::PriceSource& source = kx::libraryProfile(kind).prices;
        kx::PriceColumns kept(b.F(), &b.view);
        kx::PriceColumns statements(b.F(), &b.view);
        statements.lookups().setReadsWholeTables(false);
        auto filled = [&](kx::PriceColumns& columns) {
            for (int row = 1; row < b.cells().Rows(); ++row) b.cells().setTextMatrix(row, 10, QString());
            columns.FillPriceColumn(10, source);
            return column(b.cells(), 10);
        };
        QStringList before;
        for (int round = 0; round < 3; ++round) {
            const QStringList byStatements = filled(statements);
            QCOMPARE(filled(kept), byStatements);
            QVERIFY(byStatements.count(QString()) < byStatements.size());
            QVERIFY(byStatements != before);  // the change below is seen by the next fill
            before = byStatements;
            // Every price changes, then the first listed item's price becomes Null.
            auto db = kx::openDatabase(prices);
            const QString table = QLatin1String(source.table), id = QLatin1String(source.idField),
                          value = QLatin1String(source.valueField);
            if (round == 0) db->Execute("UPDATE " + table + " SET " + value + "=" + value + "*2+1");
            if (round == 1)
                db->Execute("UPDATE " + table + " SET " + value + "=Null WHERE " + id + "=" +
                            QString::number(kx::ItemRows(b.cells()).rowId(1)));
        }
    }

    void billLibrariesGetAColumnWithoutPrices() {
        Browser b;
        b.view.SetPriceDBFullPath(priceFile());
        b.load(m_app, "DataBook", m_app.bill());
        QCOMPARE(b.cells().Cols(), 11);
        QCOMPARE(column(b.cells(), 10), QStringList(b.cells().Rows() - 1, QString()));
    }

    void badPriceFilesEndLoadWithAnError_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("source");  // what is copied in as the price file
        QTest::addColumn<QString>("header");  // of the column left behind
        QTest::newRow("not a database") << "Mate"
                                        << "System/Ico/Edit/Kind.ico"
                                        << "";
        QTest::newRow("no Price table") << "Mate"
                                        << "造价资料/定额库/换算库/安装工程消耗量定额_系统换算库.QTHS"
                                        << "";
        QTest::newRow("no DMPrice table") << "DE"
                                          << "造价资料/材料库/建设工程材料库.QTCJ"
                                          << "";
    }
    void badPriceFilesEndLoadWithAnError() {
        QFETCH(QString, kind);
        QFETCH(QString, source);
        QFETCH(QString, header);
        const QString bad = m_app.scratch(QStringLiteral("bad-%1.QTJG").arg(QTest::currentDataTag()));
        QFile::remove(bad);
        QVERIFY(QFile::copy(m_app.appPath() + source, bad));
        Browser b;
        b.view.SetPriceDBFullPath(bad);
        b.view.SetAppPath(m_app.appPath());
        b.view.setFindStyle(kind);
        QVERIFY_THROWS_EXCEPTION(kx::DbError, b.view.Load(kind == "DE" ? m_app.quota() : m_app.material()));
        QCOMPARE(b.cells().Cols(), 11);  // the column added before the failure stays
        QCOMPARE(b.cells().TextMatrix(0, 10), header);
        QVERIFY(b.cells().Rows() > 1);  // the listing came before
        b.view.SetPriceDBFullPath(priceFile());
        b.view.Load(kind == "DE" ? m_app.quota() : m_app.material());
        QCOMPARE(b.cells().Cols(), 11);
        checkPriceColumn(b, 10, priceFile(), kind);
    }

private:
    QString priceFile() const { return m_app.priceFile("北京2024年1月信息价"); }

    /// Checks price column `col` against the price file: "0.00" where it has a price, empty where not;
    /// both occur.
    void checkPriceColumn(Browser& b, int col, const QString& file, const QString& kind) {
        const bool quota = kind == "DE";
        const std::map<qint64, double> expected = prices(
            file, quota ? "DMPrice" : "Price", quota ? "DMID" : "MateID", quota ? "CorePrice" : "Price");
        int priced = 0, unpriced = 0;
        for (int r = 1; r < b.cells().Rows(); ++r) {
            const auto found = expected.find(b.cells().TextMatrix(r, kId).toLongLong());
            const QString want = found == expected.end() ? QString() : QString::number(found->second, 'f', 2);
            QCOMPARE(b.cells().TextMatrix(r, col), want);
            (want.isEmpty() ? unpriced : priced)++;
        }
        QVERIFY(priced > 0);
        QVERIFY2(unpriced > 0, "some listed items have no price in the file");
    }

    SampleApp m_app;
};

QTEST_MAIN(FindPriceTest)
#include "find_price_test.moc"
