// The conversion library over the sample directory's conversion files: which files a load reads, how its
// entries are numbered per kind across files, the name marker, and the files and rows it leaves out.
#include <QDir>
#include <QFile>
#include <QtTest>

#include "browser_support.h"
#include "core/data/modpub_db.h"
#include "core/data/modpub_hs.h"

using modPub_HS::HSEntry;
using namespace kxtest;

namespace {

/// An entry as the tests write it: code, kind, display name, parameter.
struct Expected {
    int code;
    int kind;
    QString name;
    QString parameter;
};

QList<Expected> loaded() {
    QList<Expected> out;
    for (const HSEntry& e : modPub_HS::HSEntries()) out.append({e.code, e.kind, e.name, e.parameter});
    return out;
}

bool operator==(const Expected& a, const Expected& b) {
    return a.code == b.code && a.kind == b.kind && a.name == b.name && a.parameter == b.parameter;
}

char* toString(const Expected& e) {
    return QTest::toString(
        QStringLiteral("{%1, kind %2, %3, %4}").arg(e.code).arg(e.kind).arg(e.name, e.parameter));
}

}  // namespace

Q_DECLARE_METATYPE(QList<Expected>)

class ConversionLibraryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_app.ok()); }

    void nameMarker_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("name and parameter") << "砂浆换算<PN>M10"
                                            << "砂浆换算"
                                            << "M10";
        QTest::newRow("no marker") << "湿土施工 人工×1.18"
                                   << "湿土施工 人工×1.18"
                                   << "";
        QTest::newRow("marker first is not split") << "<PN>系数调整"
                                                   << "<PN>系数调整"
                                                   << "";
        QTest::newRow("empty parameter") << "厚度<PN>"
                                         << "厚度"
                                         << "";
        QTest::newRow("the first marker splits") << "a<PN>b<PN>c"
                                                 << "a"
                                                 << "b<PN>c";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
    }
    void nameMarker() {
        QFETCH(QString, text);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QCOMPARE(modPub_HS::SplitBeforePN(text), before);
        QCOMPARE(modPub_HS::SplitAfterPN(text), after);
    }

    void filesAreSystemUserThenEachWithHSKField_data() {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("withHSK");
        QTest::addColumn<QStringList>("named");  // after the system and user files
        QTest::newRow("none") << "D:\\lib\\X.QTDE"
                              << "" << QStringList{};
        QTest::newRow("two in order") << "D:\\lib\\X.QTDE"
                                      << "b.QTHS|a.QTHS" << QStringList{"b.QTHS", "a.QTHS"};
        QTest::newRow("quoted separator stays, quotes too")
            << "D:\\lib\\X.QTDE"
            << "a.QTHS|'b|c.QTHS'|d.QTHS" << QStringList{"a.QTHS", "'b|c.QTHS'", "d.QTHS"};
        QTest::newRow("trailing separator") << "D:\\lib\\X.QTDE"
                                            << "a.QTHS|" << QStringList{"a.QTHS"};
        QTest::newRow("empty field names the folder")
            << "D:\\lib\\X.QTDE"
            << "a.QTHS||b.QTHS" << QStringList{"a.QTHS", "", "b.QTHS"};
        QTest::newRow("title up to the first dot, slashes") << "/data/lib/X.2018.QTDE"
                                                            << "" << QStringList{};
    }
    void filesAreSystemUserThenEachWithHSKField() {
        QFETCH(QString, library);
        QFETCH(QString, withHSK);
        QFETCH(QStringList, named);
        const QString folder =
            library.left(library.lastIndexOf(QRegularExpression("[\\\\/]")) + 1) + "换算库\\";
        QStringList expected{folder + "X_系统换算库.QTHS", folder + "X_用户换算库.QTHS"};
        for (const QString& n : named) expected << folder + n;
        QCOMPARE(modPub_HS::conversionFiles(library, withHSK), expected);
    }

    void entriesAreNumberedPerKindAcrossFiles_data() {
        QTest::addColumn<qint32>("dmid");
        QTest::addColumn<bool>("ordinary");
        QTest::addColumn<QList<Expected>>("entries");
        // System file: kinds 0, 0, 1, 0, 10; user file: 0; assembly file: 0, 2. Codes run on per kind.
        QTest::newRow("four files") << 42 << true
                                    << QList<Expected>{{1, 0, "砂浆强度等级换算", "M10水泥砂浆"},
                                                       {2, 0, "混凝土强度等级换算", "C35"},
                                                       {1, 1, "人工调整系数", "1.10"},
                                                       {3, 0, "厚度每增减10mm", "10"},
                                                       {0, 10, "材料替换", ""},
                                                       {4, 0, "湿土施工 人工×1.18", ""},
                                                       {5, 0, "装配式构件替换现浇", "预制叠合板"},
                                                       {1, 2, "构件吊装高度调整", "30m"}};
        QTest::newRow("a name opening with the marker is kept whole")
            << 10 << true
            << QList<Expected>{{1, 0, "干混砂浆替换现拌砂浆", "DM M7.5"},
                               {0, 10, "预拌砂浆罐式搅拌机", ""},
                               {2, 0, "<PN>系数调整", ""}};
        QTest::newRow("no ordinary entry; another library's rows with the ID left out")
            << 2 << false
            << QList<Expected>{
                   {1, 1, "人工调整系数", "1.20"}, {0, 10, "材料替换", ""}, {1, 3, "机械台班调整", "1.15"}};
        QTest::newRow("Code order, not storage order, and a kind-1 code 2 before the kind-0 code 2")
            << 4 << true
            << QList<Expected>{{1, 0, "砂浆强度等级换算", "M7.5水泥砂浆"},
                               {1, 1, "人工调整系数", "1.05"},
                               {2, 1, "机械调整系数", "1.10"},
                               {2, 0, "厚度每增减10mm", "10"}};
        QTest::newRow("kinds 2 to 9; 11, Null and -1 left out")
            << 8 << true
            << QList<Expected>{{1, 0, "装配式构件替换现浇", "预制楼梯"},
                               {1, 2, "二类换算", ""},
                               {1, 3, "三类换算", ""},
                               {1, 4, "四类换算", ""},
                               {1, 5, "五类换算", ""},
                               {1, 6, "六类换算", ""},
                               {1, 7, "七类换算", ""},
                               {1, 8, "八类换算", ""},
                               {1, 9, "九类换算", ""},
                               {2, 0, "预制构件运距调整", "10km"}};
        QTest::newRow("no conversions") << 1 << false << QList<Expected>{};
    }
    void entriesAreNumberedPerKindAcrossFiles() {
        QFETCH(qint32, dmid);
        QFETCH(bool, ordinary);
        QFETCH(QList<Expected>, entries);
        modPub_HS::LoadHS(42, m_app.quota());  // a full list first: each load replaces it
        if (dmid == 8) {
            for (const char* kind : {"11", "Null", "-1"}) {
                QTest::ignoreMessage(
                    QtWarningMsg,
                    QRegularExpression(QStringLiteral("of item 8 .* has the kind %1 outside 0 to "
                                                      "10 and is left out")
                                           .arg(QLatin1String(kind))));
            }
        }
        modPub_HS::LoadHS(dmid, m_app.quota());
        QCOMPARE(loaded(), entries);
        QCOMPARE(modPub_HS::HSCount(), qint16(entries.size()));
        QCOMPARE(modPub_HS::HasOrdinary(), ordinary);
    }

    void explanationsAndInformationAreRead() {
        modPub_HS::LoadHS(4, m_app.quota());
        QCOMPARE(modPub_HS::HSEntries().at(3).SM,
                 QStringLiteral("第二个普通换算：设计厚度与定额不同时，按每增减10mm调整。"));
        modPub_HS::LoadHS(42, m_app.quota());
        QCOMPARE(modPub_HS::HSEntries().at(2).info, QStringLiteral("R*1.1"));
    }

    void unreadableFilesAreLeftOutAndTheRestLoads() {
        // A copy of the building library whose WithHSK names a file that is no database, a database without
        // HS, an empty field (the folder itself), a missing file and, last, the assembly conversions.
        QDir root(m_app.scratch("bad-hsk"));
        QVERIFY(root.mkpath("换算库"));
        const QString library = root.filePath("T.QTDE");
        const QString conversions = QFileInfo(m_app.quota()).path() + "/换算库/";
        const QString title = QString::fromUtf8(sample::names::kBuildingTitle);
        QVERIFY(QFile::copy(m_app.quota(), library));
        QVERIFY(
            QFile::copy(conversions + title + "_系统换算库.QTHS", root.filePath("换算库/T_系统换算库.QTHS")));
        QVERIFY(QFile::copy(m_app.appPath() + "System/Ico/Edit/Kind.ico", root.filePath("换算库/icon.QTHS")));
        QVERIFY(QFile::copy(m_app.priceFile("项目询价"), root.filePath("换算库/prices.QTHS")));
        QVERIFY(QFile::copy(conversions + title + "_装配式换算.QTHS", root.filePath("换算库/T_extra.QTHS")));
        modPub_DB::OpenDB(library)->Execute(
            "UPDATE KeyInfo SET WithCode='icon.QTHS|prices.QTHS||gone.QTHS|T_extra.QTHS' WHERE "
            "Code='WithHSK'");

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("conversion file .*icon.QTHS is left out"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("conversion file .*prices.QTHS is left out"));
        modPub_HS::LoadHS(42, library);
        const QList<Expected> entries = loaded();
        QCOMPARE(entries.size(), 7);  // the system file's five and the assembly file's two
        QCOMPARE(entries.at(5), (Expected{4, 0, "装配式构件替换现浇", "预制叠合板"}));
        QCOMPARE(entries.at(6), (Expected{1, 2, "构件吊装高度调整", "30m"}));
    }

    void aLibraryThatCannotBeReadFailsAndEmptiesTheList() {
        modPub_HS::LoadHS(42, m_app.quota());
        QVERIFY_THROWS_EXCEPTION(kx::DbError, modPub_HS::LoadHS(42, m_app.scratch("none.QTDE")));
        QCOMPARE(modPub_HS::HSCount(), qint16(0));
        QVERIFY(!modPub_HS::HasOrdinary());
    }

private:
    SampleApp m_app;
};

QTEST_MAIN(ConversionLibraryTest)
#include "conversion_library_test.moc"
