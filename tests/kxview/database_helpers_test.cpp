// Opening databases, KeyInfo lookups and finding a library by key, over files made by the engine's writer.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/data/modpub_db.h"
#include "jet/database.h"
#include "jet/writer.h"

namespace {

/// A library file holding KeyInfo with the given (Code, WithCode) rows; a null WithCode is stored as Null.
void makeLibrary(const QString& path, const QList<QPair<QString, QString>>& keyInfo) {
    QVERIFY(jet::createDatabase(path.toStdString()).ok());
    jet::OpenOptions options;
    options.mode = jet::OpenMode::ReadWrite;
    auto db = jet::Database::open(path.toStdString(), options);
    QVERIFY(db.ok());
    jet::TableSpec spec;
    spec.name = "KeyInfo";
    spec.columns = {{"Code", jet::ColumnType::Text, 50}, {"WithCode", jet::ColumnType::Text, 255}};
    std::vector<jet::Row> rows;
    for (const auto& [code, withCode] : keyInfo) {
        rows.push_back({jet::Value(code.toStdString()),
                        withCode.isNull() ? jet::Value() : jet::Value(withCode.toStdString())});
    }
    jet::Status s = jet::createTable(**db, spec, rows);
    QVERIFY2(s.ok(), s.toString().c_str());
}

}  // namespace

class DatabaseHelpersTest : public QObject {
    Q_OBJECT

private slots:
    void getKeyInfo_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("present") << "Key"
                                 << "DE-2024-01";
        QTest::newRow("chinese value") << "Name"
                                       << "建筑工程消耗量定额";
        QTest::newRow("missing code") << "ShortName"
                                      << "";
        QTest::newRow("null value") << "WithMateKey"
                                    << "";
        QTest::newRow("duplicate code takes the first row") << "Ver"
                                                            << "1";
        QTest::newRow("code differs in case (text compares without case)") << "key"
                                                                           << "DE-2024-01";
    }
    void getKeyInfo() {
        QFETCH(QString, code);
        QFETCH(QString, expected);
        auto db = modPub_DB::OpenDB(m_library);
        QCOMPARE(modPub_DB::GetKeyInfo(*db, code), expected);
    }

    void getKeyInfoWithoutTableThrows() {
        QTemporaryDir tmp;
        const QString path = tmp.path() + "/empty.mdb";
        QVERIFY(jet::createDatabase(path.toStdString()).ok());
        auto db = modPub_DB::OpenDB(path);
        QVERIFY_THROWS_EXCEPTION(kx::DbError, modPub_DB::GetKeyInfo(*db, "Key"));
    }

    void tableExistsComparesExactly_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::newRow("user table") << "KeyInfo" << true;
        QTest::newRow("other case") << "keyinfo" << false;
        QTest::newRow("system table") << "MSysObjects" << true;
        QTest::newRow("missing") << "DM" << false;
        QTest::newRow("empty name") << "" << false;
    }
    void tableExistsComparesExactly() {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        auto db = modPub_DB::OpenDB(m_library);
        QCOMPARE(modPub_DB::TableExists(*db, name), exists);
    }

    void openDBGivesIndependentDatabases() {
        auto first = modPub_DB::OpenDB(m_library);
        auto second = modPub_DB::OpenDB(m_library);
        first->Close();
        QCOMPARE(modPub_DB::GetKeyInfo(*second, "Key"), QString("DE-2024-01"));
    }

    void openDBAcceptsWindowsSpelling() {
        // Data folders come from Windows: backslashes and another letter case still find the file.
        QString spelled = m_library;
        spelled.replace('/', '\\');
        spelled.replace("lib.QTDE", "LIB.qtde");
        auto db = modPub_DB::OpenDB(spelled);
        QCOMPARE(modPub_DB::GetKeyInfo(*db, "Key"), QString("DE-2024-01"));
    }

    void openDBReadsJet3TextAsGb18030() {
        // The header of this Jet 3 file names code page 1252, but its text is GBK.
        const QString samples = qEnvironmentVariable("JET_SAMPLES", KXVIEW_DEFAULT_SAMPLES);
        auto db = modPub_DB::OpenDB(samples + "/ucanaccess_charsetGBK_jet3.mdb");
        auto rs = db->OpenRecordset("SELECT * FROM table1 WHERE field1 = 'GBK编码'");
        QCOMPARE(rs->RecordCount(), 1);
        QCOMPARE(rs->Text("field1"), QString("GBK编码"));
        QVERIFY(db->IsReadOnly());
        QVERIFY_THROWS_EXCEPTION(kx::DbError, db->Execute("DELETE FROM table1"));
    }

    void openDBOfAFileMarkedReadOnlyReadsAndSaysWhyItCannotWrite() {
        QTemporaryDir tmp;
        const QString path = tmp.path() + "/readonly.QTDE";
        makeLibrary(path, {{"Key", "K"}});
        QVERIFY(QFile::setPermissions(
            path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        auto db = modPub_DB::OpenDB(path);
        QCOMPARE(modPub_DB::GetKeyInfo(*db, "Key"), QString("K"));
        QVERIFY(db->IsReadOnly());
        QVERIFY(db->ReadOnlyReason().contains("read-only"));
        try {
            db->Execute("DELETE FROM KeyInfo");
            QFAIL("a write to a read-only file succeeded");
        } catch (const kx::DbError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains("read-only"), e.what());
        }
    }

    void openDBOfMissingFileThrows() {
        QVERIFY_THROWS_EXCEPTION(kx::DbError, modPub_DB::OpenDB(m_dir.path() + "/missing.QTDE"));
    }

    void findLibraryByWithCode_data() {
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expectedFile");
        QTest::newRow("first of two matches in listing order") << ".QTDE"
                                                               << "K2"
                                                               << "B.QTDE";
        QTest::newRow("any code's value matches") << ".QTDE"
                                                  << "土建"
                                                  << "a.QTDE";
        QTest::newRow("no match") << ".QTDE"
                                  << "K9"
                                  << "";
        QTest::newRow("other extension") << ".QTCJ"
                                         << "M1"
                                         << "m.QTCJ";
        QTest::newRow("apostrophe breaks the probe, no match") << ".QTDE"
                                                               << "K'2"
                                                               << "";
    }
    void findLibraryByWithCode() {
        QFETCH(QString, ext);
        QFETCH(QString, key);
        QFETCH(QString, expectedFile);
        const QString folder = m_libs.path() + "\\";
        const QString found = modPub_DB::FindLibraryByWithCode(folder, ext, key);
        QCOMPARE(found, expectedFile.isEmpty() ? QString() : folder + expectedFile);
    }

    void findLibraryInMissingFolderIsEmpty() {
        QCOMPARE(modPub_DB::FindLibraryByWithCode(m_libs.path() + "/none/", ".QTDE", "K1"), QString());
    }

    void valueText_data() {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("null") << QVariant() << "";
        QTest::newRow("true") << QVariant(true) << "True";
        QTest::newRow("integer") << QVariant(qlonglong(-42)) << "-42";
        QTest::newRow("double") << QVariant(1.5) << "1.5";
        QTest::newRow("sum keeps 15 digits") << QVariant(0.1 + 0.2) << "0.3";
        QTest::newRow("text") << QVariant(QString("m3")) << "m3";
        QTest::newRow("midnight date")
            << QVariant(QDateTime(QDate(2024, 2, 2), QTime(0, 0), Qt::UTC)) << "2024-02-02";
        QTest::newRow("date and time")
            << QVariant(QDateTime(QDate(1899, 12, 29), QTime(6, 0), Qt::UTC)) << "1899-12-29 06:00:00";
    }
    void valueText() {
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        // Through the engine's value and back: the adapter's two directions must agree.
        const jet::Value engineValue = kx::fromVariant(value);
        QCOMPARE(kx::valueText(engineValue), text);
        if (value.isValid()) QCOMPARE(kx::toVariant(engineValue).toString(), value.toString());
    }

    void initTestCase() {
        QVERIFY(m_dir.isValid() && m_libs.isValid());
        m_library = m_dir.path() + "/lib.QTDE";
        makeLibrary(m_library, {{"Key", "DE-2024-01"},
                                {"Name", "建筑工程消耗量定额"},
                                {"WithMateKey", QString()},
                                {"Ver", "1"},
                                {"Ver", "2"}});
        makeLibrary(m_libs.path() + "/a.QTDE", {{"Key", "K1"}, {"Major", "土建"}});
        makeLibrary(m_libs.path() + "/B.QTDE", {{"Key", "K2"}});
        makeLibrary(m_libs.path() + "/c.QTDE", {{"Key", "K2"}});
        makeLibrary(m_libs.path() + "/m.QTCJ", {{"Key", "M1"}});
        QFile junk(m_libs.path() + "/0junk.QTDE");  // listed first, and no database at all
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(5000, 'x'));
    }

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_libs;
    QString m_library;
};

QTEST_MAIN(DatabaseHelpersTest)
#include "database_helpers_test.moc"
