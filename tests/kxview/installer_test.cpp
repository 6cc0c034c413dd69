// The package installer: each target form, registration, and every way a manifest or an entry can be
// wrong, with the files on disk compared before and after.
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "core/update/installer.h"
#include "kxview/updates.h"
#include "update_support.h"

namespace {

using Files = QMap<QString, QByteArray>;  // relative path below the test folder -> content

QString entry(const QString& source, const QString& target, const QString& reg = "0") {
    QString xml = "<File Source=\"" + source.toHtmlEscaped() + "\" Target=\"" + target.toHtmlEscaped() + "\"";
    if (!reg.isNull()) xml += " Reg=\"" + reg + "\"";
    return xml + "/>";
}

QByteArray manifest(const QStringList& entries) {
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Update>\r\n" + entries.join("\r\n") +
            "\r\n</Update>")
        .toUtf8();
}

}  // namespace

class InstallerTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->path() + "/";
        m_app = m_root + "app/";
        QDir().mkpath(m_app);
        kxtest::resetUpdateSettings(m_root + "sys");
    }

    void appliesTheManifest_data() {
        QTest::addColumn<QByteArray>("manifestText");
        QTest::addColumn<Files>("package");  // files in the package folder besides the manifest
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>(
            "changed");  // paths that differ afterwards ("pkg/Update.xml" when deleted)
        const QString abs = QDir(m_dir ? m_dir->path() : QString()).path();
        QTest::newRow("below the application folder, folders made at any depth")
            << manifest({entry("a.QTDE", "...\\造价资料\\深\\层\\a.QTDE")}) << Files{{"a.QTDE", "A"}} << true
            << QStringList{"app/造价资料/深/层/a.QTDE", "pkg/Update.xml", "pkg/a.QTDE"};
        QTest::newRow("<SYS> in any case")
            << manifest({entry("x.dll", "<SYS>x.dll"), entry("y.dll", "<sys>子\\y.dll")})
            << Files{{"x.dll", "X"}, {"y.dll", "Y"}} << true
            << QStringList{"pkg/Update.xml", "pkg/x.dll", "pkg/y.dll", "sys/x.dll", "sys/子/y.dll"};
        QTest::newRow("a source in a sub-folder")
            << manifest({entry("换算库\\b.QTHS", "...\\换算库\\b.QTHS")}) << Files{{"换算库/b.QTHS", "B"}}
            << true << QStringList{"app/换算库/b.QTHS", "pkg/Update.xml", "pkg/换算库/b.QTHS"};
        QTest::newRow("a source missing from the package is ignored")
            << manifest({entry("missing.QTDE", "...\\m.QTDE"), entry("a.QTDE", "...\\a.QTDE")})
            << Files{{"a.QTDE", "A"}} << true << QStringList{"app/a.QTDE", "pkg/Update.xml", "pkg/a.QTDE"};
        QTest::newRow("an entry without its third attribute is not counted")
            << manifest({entry("a.QTDE", "...\\a.QTDE", QString()), entry("b.QTDE", "...\\b.QTDE")})
            << Files{{"a.QTDE", "A"}, {"b.QTDE", "B"}} << true
            << QStringList{"app/b.QTDE", "pkg/Update.xml", "pkg/b.QTDE"};
        QTest::newRow("an empty Update") << manifest({}) << Files{} << true << QStringList{"pkg/Update.xml"};
        QTest::newRow("comments and text between entries are no entries")
            << manifest({"<!-- 说明 -->", "text", entry("a.QTDE", "...\\a.QTDE")}) << Files{{"a.QTDE", "A"}}
            << true << QStringList{"app/a.QTDE", "pkg/Update.xml", "pkg/a.QTDE"};
        QTest::newRow("not XML") << QByteArray("PK\x03\x04") << Files{{"a.QTDE", "A"}} << false
                                 << QStringList{};
        QTest::newRow("no Update element") << QByteArray("<Updates><File A=\"a\" B=\"b\" C=\"0\"/></Updates>")
                                           << Files{} << false << QStringList{};
        QTest::newRow("a target that cannot be written: nothing is installed")
            << manifest({entry("b.QTDE", "...\\b.QTDE"), entry("a.QTDE", "...\\占用\\a.QTDE")})
            << Files{{"a.QTDE", "A"}, {"b.QTDE", "B"}} << false << QStringList{};
        QTest::newRow("a target that is no full path fails")
            << manifest({entry("a.QTDE", "相对\\a.QTDE")}) << Files{{"a.QTDE", "A"}} << false
            << QStringList{};
        QTest::newRow("a source outside the package folder is not an entry")
            << manifest({entry("..\\outside.txt", "...\\stolen.txt")}) << Files{} << true
            << QStringList{"pkg/Update.xml"};
    }
    void appliesTheManifest() {
        QFETCH(QByteArray, manifestText);
        QFETCH(Files, package);
        QFETCH(bool, result);
        QFETCH(QStringList, changed);
        const QString pkg = m_root + "pkg/";
        kxtest::writeBytes(pkg + "Update.xml", manifestText);
        for (auto it = package.begin(); it != package.end(); ++it)
            kxtest::writeBytes(pkg + it.key(), it.value());
        kxtest::writeBytes(m_root + "outside.txt", "mine");
        kxtest::writeBytes(m_app + "占用", "a file where a folder should be");
        const auto before = kxtest::snapshot(m_root);
        QCOMPARE(modUpdate::InstallUpdatePackage(windows(pkg + "Update.xml"), windows(m_app), false), result);
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_root)), changed);
        for (auto it = package.begin(); it != package.end(); ++it) {
            const QString installed = changed.filter(QFileInfo(it.key()).fileName())
                                          .filter(QRegularExpression("^(app|sys)/"))
                                          .value(0);
            if (!installed.isEmpty()) QCOMPARE(kxtest::readBytes(m_root + installed), it.value());
        }
    }

    void aMissingManifestChangesNothing() {
        QVERIFY(!modUpdate::InstallUpdatePackage(m_root + "pkg/Update.xml", m_app, false));
    }

    void theSystemFolderDefaultsToTheApplicationsSystemFolder() {
        modUpdate::SetSystemDirectory({});
        kxtest::writeBytes(m_root + "pkg/Update.xml", manifest({entry("x.dll", "<SYS>x.dll")}));
        kxtest::writeBytes(m_root + "pkg/x.dll", "X");
        QVERIFY(modUpdate::InstallUpdatePackage(m_root + "pkg/Update.xml", m_app, false));
        QCOMPARE(kxtest::readBytes(m_app + "System/x.dll"), QByteArray("X"));
    }

    void registersFilesFlaggedOne_data() {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<bool>("registered");
        QTest::newRow("1") << "1" << true;
        QTest::newRow("1.0") << "1.0" << true;
        QTest::newRow("leading blank") << " 1" << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("2") << "2" << false;
        QTest::newRow("text") << "yes" << false;
    }
    void registersFilesFlaggedOne() {
        QFETCH(QString, flag);
        QFETCH(bool, registered);
        allow([](kx::UpdateLimits& l) { l.allowRegistration = true; });
        modUpdate::SetRegisterCommand("touch %1.registered");
        kxtest::writeBytes(m_root + "pkg/Update.xml",
                           manifest({entry("a.dll", "<SYS>a.dll", flag), entry("b.dll", "...\\b.dll", "1")}));
        kxtest::writeBytes(m_root + "pkg/a.dll", "A");
        kxtest::writeBytes(m_root + "pkg/b.dll", "B");
        QVERIFY(modUpdate::InstallUpdatePackage(m_root + "pkg/Update.xml", m_app, false));
        QTRY_VERIFY(QFile::exists(m_app + "b.dll.registered"));  // the control: registration does run
        QCOMPARE(QFile::exists(m_root + "sys/a.dll.registered"), registered);
    }

    void withoutARegistrationCommandTheFileIsStillInstalled() {
        kxtest::writeBytes(m_root + "pkg/Update.xml", manifest({entry("a.dll", "<SYS>a.dll", "1")}));
        kxtest::writeBytes(m_root + "pkg/a.dll", "A");
        QVERIFY(modUpdate::InstallUpdatePackage(m_root + "pkg/Update.xml", m_app, false));
        QCOMPARE(kxtest::readBytes(m_root + "sys/a.dll"), QByteArray("A"));
    }

    void withoutAllOrNothingASecondRunRetriesOnlyWhatFailed() {
        allow([](kx::UpdateLimits& l) { l.allOrNothing = false; });
        kxtest::writeBytes(m_app + "占用", "blocker");
        kxtest::writeBytes(m_root + "pkg/Update.xml",
                           manifest({entry("a.QTDE", "...\\占用\\a.QTDE"), entry("b.QTDE", "...\\b.QTDE")}));
        kxtest::writeBytes(m_root + "pkg/a.QTDE", "A");
        kxtest::writeBytes(m_root + "pkg/b.QTDE", "B");
        QVERIFY(!modUpdate::InstallUpdatePackage(m_root + "pkg/Update.xml", m_app, false));
        QFile::remove(m_app + "占用");
        kxtest::writeBytes(m_app + "b.QTDE", "changed meanwhile");
        QVERIFY(modUpdate::InstallUpdatePackage(m_root + "pkg/Update.xml", m_app, false));
        QCOMPARE(kxtest::readBytes(m_app + "占用/a.QTDE"), QByteArray("A"));
        QCOMPARE(kxtest::readBytes(m_app + "b.QTDE"), QByteArray("changed meanwhile"));
        QCOMPARE(QDir(m_root + "pkg").entryList(QDir::Files), QStringList());
    }

private:
    static QString windows(QString path) { return path.replace('/', '\\'); }
    template <typename Change>
    static void allow(Change change) {
        kx::UpdateLimits limits;
        change(limits);
        modUpdate::SetUpdateLimits(limits);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
    QString m_app;
};

QTEST_MAIN(InstallerTest)
#include "installer_test.moc"
