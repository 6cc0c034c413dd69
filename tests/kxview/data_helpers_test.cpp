// Path, field and file-system helpers as their callers rely on them.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/data/modpub_chars.h"
#include "core/data/modpub_file.h"
#include "core/io/filesystem.h"
#include "core/services/messages.h"

class DataHelpersTest : public QObject {
    Q_OBJECT

private slots:
    void pathParts_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("filePath");
        QTest::addColumn<QString>("fileTitle");
        QTest::addColumn<QString>("parentPath");
        QTest::newRow("folder path") << "D:\\a\\"
                                     << ""
                                     << "D:\\a\\"
                                     << ""
                                     << "D:\\";
        QTest::newRow("no separator") << "abc"
                                      << ""
                                      << ""
                                      << "abc"
                                      << "abc";
        QTest::newRow("dotted folder") << "D:\\x.y\\abc"
                                       << "abc"
                                       << "D:\\x.y\\"
                                       << "abc"
                                       << "D:\\x.y\\";
        QTest::newRow("several dots") << "D:\\x\\a.b.c"
                                      << "a.b.c"
                                      << "D:\\x\\"
                                      << "a"
                                      << "D:\\x\\";
        QTest::newRow("edition in name") << "C:\\lib\\abc.2001.QTDE"
                                         << "abc.2001.QTDE"
                                         << "C:\\lib\\"
                                         << "abc"
                                         << "C:\\lib\\";
        QTest::newRow("leading dot") << "D:\\.hidden"
                                     << ".hidden"
                                     << "D:\\"
                                     << ""
                                     << "D:\\";
        QTest::newRow("empty") << ""
                               << ""
                               << ""
                               << ""
                               << "";
        QTest::newRow("nested folder") << "D:\\data\\K01\\"
                                       << ""
                                       << "D:\\data\\K01\\"
                                       << ""
                                       << "D:\\data\\";
        QTest::newRow("folder without slash") << "D:\\data"
                                              << "data"
                                              << "D:\\"
                                              << "data"
                                              << "D:\\";
        QTest::newRow("relative folder") << "data\\"
                                         << ""
                                         << "data\\"
                                         << ""
                                         << "data";
        QTest::newRow("forward slashes") << "/srv/lib/a.QTDE"
                                         << "a.QTDE"
                                         << "/srv/lib/"
                                         << "a"
                                         << "/srv/lib/";
        QTest::newRow("chinese") << "造价资料\\定额库\\建筑.QTDE"
                                 << "建筑.QTDE"
                                 << "造价资料\\定额库\\"
                                 << "建筑"
                                 << "造价资料\\定额库\\";
    }
    void pathParts() {
        QFETCH(QString, path);
        QFETCH(QString, fileName);
        QFETCH(QString, filePath);
        QFETCH(QString, fileTitle);
        QFETCH(QString, parentPath);
        QCOMPARE(modPub_File::GetFileName(path), fileName);
        QCOMPARE(modPub_File::GetFilePath(path), filePath);
        QCOMPARE(modPub_File::GetFileTitle(path), fileTitle);
        QCOMPARE(modPub_File::GetParentPath(path), parentPath);
    }

    void fileFilter_data() {
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("filter");
        QTest::newRow("price") << ".QTJG"
                               << "价格文件(*.QTJG)|*.QTJG";
        QTest::newRow("old price") << ".JG"
                                   << "价格文件(*.JG)|*.JG";
        QTest::newRow("material") << ".QTCJ"
                                  << "材料库文件(*.QTCJ)|*.QTCJ";
        QTest::newRow("quota") << ".QTDE"
                               << "定额库文件(*.QTDE)|*.QTDE";
        QTest::newRow("lower case") << ".qtjg" << QString();
        QTest::newRow("other") << ".mdb" << QString();
    }
    void fileFilter() {
        QFETCH(QString, ext);
        QFETCH(QString, filter);
        QCOMPARE(modPub_File::GetFileFilter(ext), filter);
        QCOMPARE(modPub_File::GetFileFilter(ext).isNull(), filter.isNull());
    }

    void fields_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("fields");  // fields 1..count+1; the last must be ""
        QTest::newRow("two") << "a|b"
                             << "|" << 2 << QStringList{"a", "b", ""};
        QTest::newRow("trailing separator") << "a|b|"
                                            << "|" << 2 << QStringList{"a", "b", ""};
        QTest::newRow("empty") << ""
                               << "|" << 0 << QStringList{""};
        QTest::newRow("quoted separator") << "a|'b|c'|d"
                                          << "|" << 3 << QStringList{"a", "'b|c'", "d", ""};
        QTest::newRow("unclosed quote") << "a|'b|c"
                                        << "|" << 3 << QStringList{"a", "'b", "c", ""};
        QTest::newRow("blank separated code") << "01-0001 换"
                                              << " " << 2 << QStringList{"01-0001", "换", ""};
        QTest::newRow("empty fields") << "||"
                                      << "|" << 2 << QStringList{"", "", ""};
        QTest::newRow("files") << "a.QTHS|b.QTHS"
                               << "|" << 2 << QStringList{"a.QTHS", "b.QTHS", ""};
    }
    void fields() {
        QFETCH(QString, text);
        QFETCH(QString, separator);
        QFETCH(int, count);
        QFETCH(QStringList, fields);
        QCOMPARE(int(modPub_Chars::CountFields(text, separator)), count);
        for (int i = 0; i < fields.size(); ++i) {
            QCOMPARE(modPub_Chars::GetField(text, separator, qint16(i + 1)), fields[i]);
        }
        QCOMPARE(modPub_Chars::GetField(text, separator, 0), QString());
    }

    void createDirsMakesEveryMissingLevel() {
        QTemporaryDir tmp;
        const QString root = tmp.path() + "\\";
        modPub_File::CreateDirs(root + "a\\b\\c\\");
        QVERIFY(QDir(tmp.path() + "/a/b/c").exists());
        // The folder itself is created without a check: an existing one is an error for the caller.
        QVERIFY_THROWS_EXCEPTION(kx::FileSystemError, modPub_File::CreateDirs(root + "a\\b\\c\\"));
    }

    void resolveIgnoresCaseOfExistingComponents() {
        QTemporaryDir tmp;
        QDir(tmp.path()).mkpath("System/Ico/Edit");
        QFile f(tmp.path() + "/System/Ico/Edit/Kind.ico");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const QString asWritten = tmp.path() + "\\system\\ICO\\edit\\kind.ICO";
        QCOMPARE(kx::fs::resolve(asWritten), tmp.path() + "/System/Ico/Edit/Kind.ico");
        QVERIFY(kx::fs::isFile(asWritten));
        // Only the file name differs in case: the folder is taken as written.
        QCOMPARE(kx::fs::resolve(tmp.path() + "/System/Ico/Edit/KIND.ico"),
                 tmp.path() + "/System/Ico/Edit/Kind.ico");
        // A missing last component keeps its spelling, so callers can create it.
        QCOMPARE(kx::fs::resolve(tmp.path() + "\\system\\New.mdb"), tmp.path() + "/System/New.mdb");
    }

    void listingMatchesWithoutCaseInCaseInsensitiveOrder() {
        QTemporaryDir tmp;
        for (const char* name : {"b.QTDE", "A.qtde", "c.QTCJ", "d.QTDE.bak", "建筑.QTDE"}) {
            QFile f(tmp.path() + "/" + QString::fromUtf8(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(kx::fs::listFiles(tmp.path() + "\\", "*.QTDE"),
                 (QStringList{"A.qtde", "b.QTDE", "建筑.QTDE"}));
        QCOMPARE(kx::fs::listFiles(tmp.path(), "?.qtcj"), QStringList{"c.QTCJ"});
        QVERIFY(kx::fs::listFiles(tmp.path() + "/missing", "*").isEmpty());
    }

    void showMsgIsAWarningWithOk() {
        auto* scripted = new kx::ScriptedMessageService;
        auto previous = kx::setMessageService(std::unique_ptr<kx::MessageService>(scripted));
        modPub_Sub::ShowMsg("价格已经存在！");
        QCOMPARE(scripted->shown().size(), 1);
        const kx::MessageBoxSpec& box = scripted->shown().first();
        QCOMPARE(box.title, QString("友情提示"));
        QCOMPARE(box.text, QString("价格已经存在！"));
        QCOMPARE(box.icon, kx::MessageBoxSpec::Icon::Warning);
        QCOMPARE(box.buttons, kx::MessageBoxSpec::Buttons::Ok);
        kx::setMessageService(std::move(previous));
    }
};

QTEST_MAIN(DataHelpersTest)
#include "data_helpers_test.moc"
