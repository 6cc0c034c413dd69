// The estimator's additions without any widget: pinyin readings and matching, the library index the filter
// searches, recent and favourite items in a property store, XLSX and CSV files read back with unzip and
// Python's csv reader, and an item's price across the sample directory's price files. Links the core only.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "core/data/item_index.h"
#include "core/data/item_marks.h"
#include "core/data/modpub_db.h"
#include "core/data/pinyin.h"
#include "core/data/price_history.h"
#include "core/io/spreadsheet.h"
#include "core/pickers/library_paths.h"
#include "kxview/errors.h"
#include "kxview/propertystore.h"
#include "sample/names.h"
#include "sample_fixture.h"

using kx::TextSpan;

namespace {

const kx::PinyinReadings& readings() {
    return kx::PinyinReadings::shared();
}

QString sampleFile(const char* folder, const char* title, const char* ext) {
    return kxtest::sampleApp() + QLatin1Char('/') + QString::fromUtf8(folder) + QLatin1Char('/') +
           QString::fromUtf8(title) + QLatin1String(ext);
}

QString quotaLibrary() {
    return sampleFile(sample::names::kQuotaDir, sample::names::kBuildingTitle, ".QTDE");
}

/// Runs a program and returns its standard output; fails the test when it does not exit with 0.
QByteArray run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning() << program << arguments << p.readAllStandardError();
        return QByteArray("<failed>");
    }
    return p.readAllStandardOutput();
}

/// A store that refuses every write, as a read-only settings file does.
class RefusingStore : public kx::PropertyStore {
public:
    std::optional<QVariant> read(const QString&) const override { return std::nullopt; }
    void write(const QString&, const QVariant&) override { throw std::runtime_error("read-only store"); }
};

kx::SheetTable sampleSheet() {
    kx::SheetTable t;
    t.title = QStringLiteral("定额/子目");
    t.columns = {{QStringLiteral("定额号"), 1000, false},
                 {QStringLiteral("名称"), 3000, false},
                 {QStringLiteral("单位"), 800, false},
                 {QStringLiteral("京24.01"), 1000, true}};
    t.rows = {
        {{QStringLiteral("010101001"), QStringLiteral("人工挖一般土方 \"一\"类土, 深2m"),
          QStringLiteral("100m3"), QStringLiteral("2650.50")},
         0,
         false,
         false},
        {{QStringLiteral(" -1"), QStringLiteral("换算\t运距"), QString(), QString()}, 1, true, false},
        {{QStringLiteral("主体项目"), QStringLiteral("主体项目"), QString(), QString()}, 1, false, true}};
    return t;
}

}  // namespace

class EstimatorCoreTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo::exists(quotaLibrary()), "the sample directory of the test run is missing");
        QVERIFY2(!readings().isEmpty(), "libpinyin's tables are missing (libpinyin-data)");
    }

    void polyphonicCharactersHaveEveryReading_data() {
        QTest::addColumn<QString>("character");
        QTest::addColumn<QStringList>("expected");  // readings it must have, among possibly more
        QTest::newRow("重 weight, repeat") << "重" << QStringList{"zhong", "chong"};
        QTest::newRow("长 length, grow") << "长" << QStringList{"chang", "zhang"};
        QTest::newRow("行 walk, row") << "行" << QStringList{"xing", "hang"};
        QTest::newRow("还 still, return") << "还" << QStringList{"hai", "huan"};
        QTest::newRow("乐 joy, music") << "乐" << QStringList{"le", "yue"};
        QTest::newRow("one reading") << "砼" << QStringList{"tong"};
        QTest::newRow("ü as v") << "绿" << QStringList{"lv"};
    }
    void polyphonicCharactersHaveEveryReading() {
        QFETCH(QString, character);
        QFETCH(QStringList, expected);
        QStringList got;
        for (const std::string& r : readings().of(character.at(0).unicode()))
            got << QString::fromStdString(r);
        for (const QString& e : expected) QVERIFY2(got.contains(e), qPrintable(got.join(' ')));
        QVERIFY(readings().of(u'a').empty() && readings().of(u'7').empty());
    }

    void typedTextFindsNamesByReadings_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("start");  // -1: no match
        QTest::addColumn<int>("end");
        QTest::newRow("initials") << "人工挖土石方"
                                  << "tsf" << 3 << 6;
        QTest::newRow("full pinyin") << "人工挖土石方"
                                     << "tushifang" << 3 << 6;
        QTest::newRow("full pinyin typed so far") << "人工挖土石方"
                                                  << "tushif" << 3 << 6;
        QTest::newRow("mixed with characters") << "人工挖土石方"
                                               << "土sf" << 3 << 6;
        QTest::newRow("upper case") << "人工挖土石方"
                                    << "TSF" << 3 << 6;
        QTest::newRow("first match wins") << "现浇构件圆钢筋"
                                          << "gj" << 2 << 4;
        QTest::newRow("polyphonic 长 as chang") << "桩长12m以内"
                                                << "zhuangchang" << 0 << 2;
        QTest::newRow("polyphonic 长 as zhang") << "桩长12m以内"
                                                << "zz" << 0 << 2;
        QTest::newRow("polyphonic 行 as hang") << "行车梁"
                                               << "hcl" << 0 << 3;
        QTest::newRow("polyphonic 行 as xing") << "人行道"
                                               << "rxd" << 0 << 3;
        QTest::newRow("polyphonic 重 as chong") << "重复利用"
                                                << "cf" << 0 << 2;
        QTest::newRow("readings then digits") << "桩长12m以内"
                                              << "zc12" << 0 << 4;
        QTest::newRow("latin letters literally") << "螺纹钢筋 HRB400 Φ12"
                                                 << "hrb4" << 5 << 9;
        QTest::newRow("a character read as nothing else") << "人工挖土石方"
                                                          << "土x" << -1 << -1;
        QTest::newRow("no match") << "人工挖土石方"
                                  << "zzz" << -1 << -1;
        QTest::newRow("an initial must start a reading") << "人工挖土石方"
                                                         << "hif" << -1 << -1;
    }
    void typedTextFindsNamesByReadings() {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(int, start);
        QFETCH(int, end);
        const kx::PinyinQuery query(typed, &readings());
        const std::vector<kx::PreparedChar> chars = kx::prepareText(name, &readings());
        const std::optional<TextSpan> span = query.find(chars.data(), static_cast<int>(chars.size()));
        QCOMPARE(span.has_value(), start >= 0);
        if (span) QCOMPARE(*span, (TextSpan{start, end}));
        QCOMPARE(query.matches(chars.data(), static_cast<int>(chars.size())), start >= 0);
    }

    void withoutReadingsTextMatchesLiterally() {
        const kx::PinyinQuery pinyin(QStringLiteral("tsf"), nullptr);
        const kx::PinyinQuery literal(QStringLiteral("石方"), nullptr);
        const std::vector<kx::PreparedChar> chars = kx::prepareText(u"人工挖土石方", nullptr);
        QVERIFY(!pinyin.matches(chars.data(), 6));
        QCOMPARE(literal.find(chars.data(), 6), (TextSpan{4, 6}));
        // A text too long for reading matching is still found literally.
        const QString longName = QString(70, QLatin1Char('x')) + QStringLiteral("土石方");
        const kx::PinyinQuery longQuery(QString(70, QLatin1Char('x')), &readings());
        const std::vector<kx::PreparedChar> longChars = kx::prepareText(longName, &readings());
        QVERIFY(longQuery.matches(longChars.data(), static_cast<int>(longChars.size())));
    }

    void missingPinyinTablesLeaveLiteralMatching() {
        QTemporaryDir empty;
        const kx::PinyinReadings none = kx::PinyinReadings::load(empty.path());
        QVERIFY(none.isEmpty());
        const kx::RowFilter filter(QStringLiteral("tsf"), &none);
        QVERIFY(!filter.matchesTexts(QString(), QStringLiteral("土石方"), QString()));
        QVERIFY(kx::RowFilter(QStringLiteral("石"), &none)
                    .matchesTexts(QString(), QStringLiteral("土石方"), QString()));
    }

    void rowFilterLooksAtCodeNameAndUnit_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("matches");
        QTest::addColumn<QString>("nameSpan");  // "start-end" in the name, "" for none
        QTest::newRow("code") << "4-21" << true << "";
        QTest::newRow("unit ignoring case") << "M3" << true << "";
        QTest::newRow("name literally") << "土方" << true << "3-5";
        QTest::newRow("name by initials") << "wtf" << true << "2-5";
        QTest::newRow("empty matches everything") << "" << true << "";
        QTest::newRow("nothing") << "xyz" << false << "";
    }
    void rowFilterLooksAtCodeNameAndUnit() {
        QFETCH(QString, typed);
        QFETCH(bool, matches);
        QFETCH(QString, nameSpan);
        const kx::RowFilter filter(typed, &readings());
        const QString name = QStringLiteral("人工挖土方");
        QCOMPARE(filter.matchesTexts(QStringLiteral("4-211"), name + QStringLiteral("石"),
                                     QStringLiteral("100m3")),
                 matches);
        const std::optional<TextSpan> span = filter.spanInName(name + QStringLiteral("石"));
        if (nameSpan.isEmpty()) return;
        QVERIFY(span);
        QCOMPARE(QStringLiteral("%1-%2").arg(span->start).arg(span->end), nameSpan);
    }

    void indexHoldsEveryItemAsMdbtoolsReadsIt() {
        const auto index = kx::ItemIndex::build(
            quotaLibrary(), {QStringLiteral("DM"), QStringLiteral("DECode")}, &readings());
        // mdb-export reads the same file independently: the index holds each of its rows, in order.
        const QStringList lines =
            QString::fromUtf8(run(QStringLiteral("mdb-export"),
                                  {QStringLiteral("-H"), QStringLiteral("-D"), QStringLiteral("%F"),
                                   quotaLibrary(), QStringLiteral("DM")}))
                .split('\n', Qt::SkipEmptyParts);
        QCOMPARE(index->size(), lines.size());
        QVERIFY(index->size() > 1000);
        const QString header =
            QString::fromUtf8(run(QStringLiteral("mdb-export"), {quotaLibrary(), QStringLiteral("DM")}))
                .section('\n', 0, 0);
        const int idColumn = header.split(',').indexOf(QStringLiteral("ID"));
        QVERIFY(idColumn >= 0);
        for (int i = 0; i < index->size(); i += 97)
            QCOMPARE(QString::number(index->item(i).id), lines[i].section(',', idColumn, idColumn));
        const kx::IndexedItem& some = index->item(index->size() / 2);
        QCOMPARE(index->findCode(some.code).has_value(), true);
        QCOMPARE(index->item(*index->findCode(some.code)).code, some.code);
        QVERIFY(!index->findCode(QStringLiteral("no such code")).has_value());
    }

    void indexMatchesAsTheFilterDoesItemByItem_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("initials") << "zc";
        QTest::newRow("full pinyin, polyphonic") << "zhouchang";
        QTest::newRow("code") << "4-2";
        QTest::newRow("unit") << "10m3";
        QTest::newRow("mixed") << "钢j";
        QTest::newRow("no match") << "qqqqq";
    }
    void indexMatchesAsTheFilterDoesItemByItem() {
        QFETCH(QString, typed);
        const auto index =
            kx::ItemIndex::of(quotaLibrary(), {QStringLiteral("DM"), QStringLiteral("DECode")}, &readings());
        const kx::RowFilter filter(typed, &readings());
        std::vector<int> expected;
        for (int i = 0; i < index->size(); ++i) {
            const kx::IndexedItem& it = index->item(i);
            if (filter.matchesTexts(it.code, it.name, it.unit)) expected.push_back(i);
        }
        QCOMPARE(index->matching(filter), expected);
        if (typed == QLatin1String("qqqqq")) {
            QVERIFY(expected.empty());
        } else {
            QVERIFY(!expected.empty());
        }
        // A longer text narrows the matches of a shorter one.
        const kx::RowFilter longer(typed + QStringLiteral("1"), &readings());
        QCOMPARE(index->matchingAmong(longer, expected), index->matching(longer));
    }

    void indexFollowsTheFilesState() {
        QTemporaryDir dir;
        const QString copy = dir.filePath(QStringLiteral("copy.QTDE"));
        QVERIFY(QFile::copy(quotaLibrary(), copy));
        const kx::ItemTable dm{QStringLiteral("DM"), QStringLiteral("DECode")};
        const auto first = kx::ItemIndex::of(copy, dm, &readings());
        QCOMPARE(kx::ItemIndex::of(copy, dm, &readings()), first);  // unchanged: the same index
        const int before = first->size();
        const QString code = first->item(0).code;
        QCOMPARE(modPub_DB::OpenDB(copy)->Execute(QStringLiteral("DELETE FROM DM WHERE ID=") +
                                                  QString::number(first->item(0).id)),
                 1);
        const auto second = kx::ItemIndex::of(copy, dm, &readings());
        QVERIFY(second != first);
        QCOMPARE(second->size(), before - 1);
        QVERIFY(!second->findCode(code).has_value() ||
                second->item(*second->findCode(code)).id != first->item(0).id);
        // Two items of one code: the first is the one found by code, and a text finds both.
        const qint32 firstId = second->item(10).id, laterId = second->item(20).id;
        QCOMPARE(
            modPub_DB::OpenDB(copy)->Execute(
                QStringLiteral("UPDATE DM SET DECode='X-77' WHERE ID=%1 OR ID=%2").arg(firstId).arg(laterId)),
            2);
        const auto third = kx::ItemIndex::of(copy, dm, &readings());
        QCOMPARE(third->item(*third->findCode(QStringLiteral("X-77"))).id, firstId);
        std::vector<qint32> found;
        for (const int i : third->matching(kx::RowFilter(QStringLiteral("x-77"), &readings())))
            found.push_back(third->item(i).id);
        QCOMPARE(found, (std::vector<qint32>{firstId, laterId}));
        // What the filter finds item by item, the index finds: its literal and reading paths line up.
        const kx::RowFilter name(third->item(30).name, &readings());
        for (int i = 0; i < third->size(); ++i) {
            const kx::IndexedItem& it = third->item(i);
            QCOMPARE(third->matchingAmong(name, {i}).size() == 1,
                     name.matchesTexts(it.code, it.name, it.unit));
        }
        QVERIFY_THROWS_EXCEPTION(
            kx::DbError, kx::ItemIndex::build(dir.filePath(QStringLiteral("none.QTDE")), dm, &readings()));
    }

    void marksPersistPerLibraryKey() {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("marks.ini"));
        {
            QSettings settings(ini, QSettings::IniFormat);
            kx::SettingsPropertyStore store(settings, QStringLiteral("KXView"));
            kx::ItemMarks marks;
            marks.setStore(&store);
            for (int i = 0; i < kx::ItemMarks::MaxRecent + 5; ++i)
                marks.addRecent(QStringLiteral("DE2018JZ"),
                                {QStringLiteral("1-%1").arg(i), QStringLiteral("挖土"), "m3"});
            marks.addRecent(QStringLiteral("DE2018JZ"),
                            {QStringLiteral("1-10"), QStringLiteral("挖土"), "m3"});
            marks.setFavourite(QStringLiteral("DE2018JZ"),
                               {QStringLiteral("4-21"), QStringLiteral("矩形柱"), "10m3"}, true);
            marks.setFavourite(QStringLiteral("DE2018JZ"),
                               {QStringLiteral("4-22"), QStringLiteral("圆形柱"), "10m3"}, true);
            marks.setFavourite(QStringLiteral("DE2018JZ"), {QStringLiteral("4-21"), QString(), QString()},
                               true);
            marks.setFavourite(QStringLiteral("CJ2018"),
                               {QStringLiteral("0101"), QStringLiteral("圆钢"), "t"}, true);
            marks.setFavourite(QStringLiteral("CJ2018"), {QStringLiteral("0101"), QString(), QString()},
                               false);
        }
        QSettings settings(ini, QSettings::IniFormat);
        kx::SettingsPropertyStore store(settings, QStringLiteral("KXView"));
        kx::ItemMarks marks;
        marks.setStore(&store);
        const QList<kx::MarkedItem> recent = marks.recent(QStringLiteral("DE2018JZ"));
        QCOMPARE(recent.size(), kx::ItemMarks::MaxRecent);
        QCOMPARE(recent.first().code, QStringLiteral("1-10"));  // called again: first, and only once
        QCOMPARE(recent.at(1).code, QStringLiteral("1-34"));
        QCOMPARE(std::count_if(recent.begin(), recent.end(),
                               [](const kx::MarkedItem& m) { return m.code == "1-10"; }),
                 1);
        QCOMPARE(marks.favourites(QStringLiteral("DE2018JZ")),
                 (QList<kx::MarkedItem>{{"4-21", "矩形柱", "10m3"}, {"4-22", "圆形柱", "10m3"}}));
        QVERIFY(marks.isFavourite(QStringLiteral("DE2018JZ"), QStringLiteral("4-22")));
        QVERIFY(marks.favourites(QStringLiteral("CJ2018")).isEmpty());
        QVERIFY(marks.recent(QStringLiteral("other")).isEmpty());

        settings.setValue(QStringLiteral("KXView/FavouriteItems/DE2018JZ"), QStringLiteral("not json ["));
        QVERIFY(marks.favourites(QStringLiteral("DE2018JZ")).isEmpty());
        RefusingStore refusing;
        marks.setStore(&refusing);
        marks.addRecent(QStringLiteral("DE2018JZ"),
                        {QStringLiteral("1-1"), QString(), QString()});  // logged, not thrown
        QVERIFY(marks.recent(QStringLiteral("DE2018JZ")).isEmpty());
    }

    void xlsxHoldsTextNumbersWidthsAndOutline() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("子目.xlsx"));
        kx::writeXlsx(file, sampleSheet());
        const QString sheet =
            QString::fromUtf8(run(QStringLiteral("unzip"),
                                  {QStringLiteral("-p"), file, QStringLiteral("xl/worksheets/sheet1.xml")}));
        const QString book = QString::fromUtf8(
            run(QStringLiteral("unzip"), {QStringLiteral("-p"), file, QStringLiteral("xl/workbook.xml")}));
        QVERIFY(book.contains(QStringLiteral("name=\"定额_子目\"")));
        for (const char* text :
             {"定额号", "010101001", "人工挖一般土方 \"一\"类土, 深2m", "换算\t运距", "主体项目"})
            QVERIFY2(sheet.contains(QString::fromUtf8(text)), text);
        // The price is a number cell; the code stays text.
        QVERIFY(
            sheet.contains(QRegularExpression(QStringLiteral("<c r=\"D2\" s=\"\\d+\"><v>2650.5</v></c>"))));
        QVERIFY(sheet.contains(QRegularExpression(QStringLiteral("<c r=\"A2\" s?[^>]*t=\"inlineStr\">"))));
        // Widths as on screen: 1000 twips are 66.7 pixels, 8.8 characters.
        QVERIFY(
            sheet.contains(QRegularExpression(QStringLiteral("<col min=\"1\" max=\"1\" width=\"9.\\d+\""))));
        QVERIFY(sheet.contains(
            QRegularExpression(QStringLiteral("<row r=\"3\"[^>]*hidden=\"1\"[^>]*outlineLevel=\"1\""))));
        QVERIFY(sheet.contains(QRegularExpression(QStringLiteral("<row r=\"4\"[^>]*outlineLevel=\"1\""))));
        QVERIFY(sheet.contains(QStringLiteral("<pane ySplit=\"1\"")));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("子目.xlsx")});
    }

    // An independent reader: Python's zip and XML modules follow the package's relationships to the sheet
    // and read back every cell with its style, the rows' outline, the frozen header and the widths.
    void xlsxReadsBackWithPythonsXmlParser() {
        if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
            QSKIP("python3 is not installed");
        kx::SheetTable t;
        t.title = QStringLiteral("估价 [A&B] \"x\"");
        t.columns = {{QStringLiteral("编号"), 1000, false},
                     {QStringLiteral("名称"), 3000, false},
                     {QStringLiteral("价格"), 1000, true},
                     {QString(), 500, false}};  // no caption, and no row reaches it
        const QString unpairedSurrogate(QChar(0xD800));
        t.rows = {{{QStringLiteral("001"), QStringLiteral("a & b <c> \"d\""), QStringLiteral("12.50")},
                   0,
                   false,
                   true},
                  {{QStringLiteral(" 换算 "), QStringLiteral("line1\r\nline2\ttab"), QStringLiteral("+1.5")},
                   1,
                   true,
                   false},
                  {{QStringLiteral("x\x01y\uFFFF"),
                    QString::fromUcs4(U"\U00020000") + unpairedSurrogate + "z", QStringLiteral("inf")},
                   2,
                   true,
                   false},
                  {{QString(), QString(), QStringLiteral(" 2e3 ")}, 0, false, false},
                  {{QStringLiteral("9"), QStringLiteral("-"), QStringLiteral("abc")}, 9, false, false}};
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("估价.xlsx"));
        kx::writeXlsx(file, t);
        const QByteArray read = run(QStringLiteral("python3"), {QStringLiteral(KXVIEW_XLSX_READER), file});
        // (\u0022 is a quote.) A bold row is bold in its text cells, numbers have the built-in format 2
        // ("0.00"), text that is no finite number stays text, characters XML cannot hold are gone, and
        // outline levels stop at 7.
        const QByteArray expected = R"({
            "name": "估价 _A&B_ \u0022x\u0022", "pane": ["1", "A2", "frozen"], "outlineLevelRow": "7", "summaryBelow": "0",
            "widths": [9.5703125, 28.5703125, 9.5703125, 4.7109375],
            "rows": [
              ["1", "0", false, false, [["A1", "编号", true, 0], ["B1", "名称", true, 0], ["C1", "价格", true, 0]]],
              ["2", "0", false, true, [["A2", "001", true, 0], ["B2", "a & b <c> \u0022d\u0022", true, 0], ["C2", 12.5, false, 2]]],
              ["3", "1", true, true, [["A3", " 换算 ", false, 0], ["B3", "line1\r\nline2\ttab", false, 0],
                                       ["C3", 1.5, false, 2]]],
              ["4", "2", true, false, [["A4", "xy", false, 0], ["B4", "\ud840\udc00z", false, 0], ["C4", "inf", false, 0]]],
              ["5", "0", false, false, [["C5", 2000, false, 2]]],
              ["6", "7", false, false, [["A6", "9", false, 0], ["B6", "-", false, 0], ["C6", "abc", false, 0]]]]})";
        const QJsonDocument wanted = QJsonDocument::fromJson(expected);
        QVERIFY(!wanted.isNull());
        QCOMPARE(QJsonDocument::fromJson(read).toJson(QJsonDocument::Compact),
                 wanted.toJson(QJsonDocument::Compact));
    }

    void csvReadsBackWithPythonsReader() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("子目.csv"));
        kx::writeCsv(file, sampleSheet());
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.read(3) == QByteArray("\xEF\xBB\xBF"));
        const QString script = QStringLiteral(
            "import csv,sys,json\n"
            "rows=list(csv.reader(open(sys.argv[1],encoding='utf-8-sig',newline='')))\n"
            "print(json.dumps(rows,ensure_ascii=False))");
        const QString json =
            QString::fromUtf8(run(QStringLiteral("python3"), {QStringLiteral("-c"), script, file}));
        QCOMPARE(
            json.trimmed(),
            QStringLiteral(
                "[[\"定额号\", \"名称\", \"单位\", \"京24.01\"], [\"010101001\", \"人工挖一般土方 "
                "\\\"一\\\"类土, "
                "深2m\", \"100m3\", \"2650.50\"], [\" -1\", \"换算\\t运距\", \"\", \"\"], [\"主体项目\", "
                "\"主体项目\", \"\", \"\"]]"));
    }

    void clipboardTextsKeepCellsApart() {
        const QString tsv = kx::toTabSeparated(sampleSheet());
        const QStringList lines = tsv.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        for (const QString& line : lines) QCOMPARE(line.count('\t'), 3);
        QCOMPARE(lines.at(2), QStringLiteral(" -1\t换算 运距\t\t"));
        const QString html = kx::toHtmlTable(sampleSheet());
        QVERIFY(html.contains(QStringLiteral("<th>京24.01</th>")));
        QVERIFY(html.contains(QStringLiteral("<td align=\"right\">2650.50</td>")));
        QVERIFY(html.contains(QStringLiteral("&quot;一&quot;")));
        QVERIFY(html.contains(QStringLiteral("mso-number-format:'\\@'\">010101001</td>")));
    }

    void failedWritesLeaveNoFile_data() {
        QTest::addColumn<bool>("xlsx");
        QTest::newRow("xlsx") << true;
        QTest::newRow("csv") << false;
    }
    void failedWritesLeaveNoFile() {
        QFETCH(bool, xlsx);
        QTemporaryDir dir;
        const QString missingFolder = dir.filePath(QStringLiteral("none/out.x"));
        QVERIFY_THROWS_EXCEPTION(kx::FileSystemError, xlsx ? kx::writeXlsx(missingFolder, sampleSheet())
                                                           : kx::writeCsv(missingFolder, sampleSheet()));
        // A folder in the way of the file: nothing is written and no temporary file stays behind.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("taken")));
        QVERIFY(QDir(dir.filePath(QStringLiteral("taken"))).mkdir(QStringLiteral("x")));
        QVERIFY_THROWS_EXCEPTION(kx::FileSystemError,
                                 xlsx ? kx::writeXlsx(dir.filePath(QStringLiteral("taken/x")), sampleSheet())
                                      : kx::writeCsv(dir.filePath(QStringLiteral("taken/x")), sampleSheet()));
        QCOMPARE(
            QDir(dir.filePath(QStringLiteral("taken"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
            QStringList{QStringLiteral("x")});
    }

    void priceFileDates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");
        QTest::newRow("iso") << "2024-01-15" << QDate(2024, 1, 15);
        QTest::newRow("slashes, short") << "2024/2/5" << QDate(2024, 2, 5);
        QTest::newRow("dots") << "2024.03.01" << QDate(2024, 3, 1);
        QTest::newRow("digits") << "20240115" << QDate(2024, 1, 15);
        QTest::newRow("month") << "2024-04" << QDate(2024, 4, 1);
        QTest::newRow("blanks around") << " 2024-01-15 " << QDate(2024, 1, 15);
        QTest::newRow("none") << "" << QDate();
        QTest::newRow("words") << "一月" << QDate();
        QTest::newRow("no such day") << "2024-02-30" << QDate();
    }
    void priceFileDates() {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        QCOMPARE(kx::priceFileDate(text), date);
    }

    void priceHistoryOrdersTheSetsFilesByDate() {
        QTemporaryDir dir;
        QVERIFY(kxtest::copySampleApp(dir.filePath(QStringLiteral("app"))));
        const QString material = dir.filePath(QStringLiteral("app/")) +
                                 QString::fromUtf8(sample::names::kMaterialDir) + QLatin1Char('/') +
                                 QString::fromUtf8(sample::names::kMaterialTitle) + ".QTCJ";
        const QString folder =
            kx::priceFolderOf(material, QString::fromUtf8(sample::names::kMaterialKey)).path;
        QCOMPARE(QDir::cleanPath(QString(folder).replace('\\', '/')),
                 QDir::cleanPath(dir.filePath(QStringLiteral("app/")) +
                                 QString::fromUtf8(sample::names::kPriceRoot) + "/" +
                                 QString::fromUtf8(sample::names::kMaterialKey)));
        // A file that is no database joins the set: it is reported, the others are read.
        QFile broken(QString(folder).replace('\\', '/') + QStringLiteral("损坏.QTJG"));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a database") > 0);
        broken.close();
        const kx::PriceTable prices{QStringLiteral("Price"), QStringLiteral("MateID"),
                                    QStringLiteral("Price")};
        // Every material of a leaf, until one lacks a price in some file (a gap).
        QList<kx::PricePoint> history;
        qint32 id = 1;
        for (; id < 200; ++id) {
            history = kx::readPriceHistory(folder, prices, id);
            const bool gap = std::any_of(history.begin(), history.end(), [](const kx::PricePoint& p) {
                return !p.price && p.error.isEmpty();
            });
            if (gap) break;
        }
        QVERIFY(id < 200);
        QCOMPARE(history.size(), 7);
        QStringList shortNames;
        for (const kx::PricePoint& p : history) shortNames << p.shortName;
        // By date; the undated broken file last.
        QCOMPARE(shortNames,
                 (QStringList{"京24.01", "津24.01", "沪24.01", "京24.02", "询价", "内部价", "损坏"}));
        QVERIFY(!history.last().error.isEmpty() && !history.last().date.isValid());
        for (int i = 0; i + 2 < history.size(); ++i) QVERIFY(history[i].date <= history[i + 1].date);
        // The prices and the gaps are those the files hold, as mdbtools reads them.
        for (const kx::PricePoint& p : history.mid(0, history.size() - 1)) {
            const QString csv = QString::fromUtf8(
                run(QStringLiteral("mdb-export"),
                    {QStringLiteral("-H"), QString(p.file).replace('\\', '/'), QStringLiteral("Price")}));
            std::optional<double> held;
            for (const QString& line : csv.split('\n', Qt::SkipEmptyParts)) {
                const QStringList f = line.split(',');
                if (f.value(1).toInt() == id) held = f.value(2).toDouble();
            }
            QCOMPARE(p.price.has_value(), held.has_value());
            if (held) QVERIFY(qFuzzyCompare(*p.price, *held));
        }
    }
};

QTEST_GUILESS_MAIN(EstimatorCoreTest)
#include "estimator_core_test.moc"
