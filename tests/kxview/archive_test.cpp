// Archive extraction and the XML reader: ZIP packages as the update service and Chinese Windows archivers
// write them, hostile packages and manifests, and what each leaves on disk.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include "core/io/xmldocument.h"
#include "core/io/ziparchive.h"
#include "core/update/modunzip.h"
#include "publish/packages.h"
#include "scripted_ui.h"

namespace {

std::vector<uint8_t> bytes(const QByteArray& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

publish::ZipMember member(const QString& name, const QByteArray& content) {
    return publish::ZipMember(name.toStdString(), bytes(content));
}

/// Writes a ZIP archive of `members` at `path`.
void writeArchive(const QString& path, std::vector<publish::ZipMember> members) {
    const jet::Status status = publish::writeZip(QFile::encodeName(path).toStdString(), members);
    QVERIFY2(status.ok(), status.toString().c_str());
}

QStringList filesBelow(const QString& dir) {
    QStringList files;
    const auto all = kxtest::snapshot(dir);
    for (auto it = all.begin(); it != all.end(); ++it) files << it.key();
    return files;
}

}  // namespace

class ArchiveTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_archive = m_dir->filePath("包.rar");
        m_folder = m_dir->filePath("解压");
    }

    void extractsEveryMemberWithItsFoldersAndExtendsTheFolderName() {
        writeArchive(m_archive, {member("Update.xml", "<Update/>"), member("换算库/系统.QTHS", "hs"),
                                 member("换算库/深/层/c.txt", "c"), member("空目录/", "")});
        QString folder = m_folder;
        QVERIFY(modUnZip::UnZipArchive(m_archive, folder));
        QCOMPARE(folder, m_folder + "\\");
        QCOMPARE(filesBelow(m_folder), (QStringList{"Update.xml", "换算库/深/层/c.txt", "换算库/系统.QTHS"}));
        QCOMPARE(kxtest::readBytes(m_folder + "/换算库/系统.QTHS"), QByteArray("hs"));
        QVERIFY(QFileInfo(m_folder + "/空目录").isDir());
    }

    void createsOnlyTheLastLevelOfTheFolder() {
        writeArchive(m_archive, {member("a.txt", "a")});
        QString deep = m_dir->filePath("没有/解压/");
        QVERIFY(!modUnZip::UnZipArchive(m_archive, deep));
        QVERIFY(!QFileInfo::exists(m_dir->filePath("没有")));
    }

    void asksBeforeReplacingEachExistingFile_data() {
        QTest::addColumn<QList<int>>("answers");  // kx::MessageAnswer per question
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<int>("questions");
        using A = kx::MessageAnswer;
        QTest::newRow("yes to both") << QList<int>{int(A::Yes), int(A::Yes)} << QByteArray("new1")
                                     << QByteArray("new2") << 2;
        QTest::newRow("no, then yes")
            << QList<int>{int(A::No), int(A::Yes)} << QByteArray("old1") << QByteArray("new2") << 2;
        QTest::newRow("cancel keeps the rest without asking")
            << QList<int>{int(A::Cancel)} << QByteArray("old1") << QByteArray("old2") << 1;
    }
    void asksBeforeReplacingEachExistingFile() {
        QFETCH(QList<int>, answers);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(int, questions);
        writeArchive(m_archive,
                     {member("一.txt", "new1"), member("子/二.txt", "new2"), member("三.txt", "new3")});
        kxtest::writeBytes(m_folder + "/一.txt", "old1");
        kxtest::writeBytes(m_folder + "/子/二.txt", "old2");
        kxtest::ScriptedUi ui;
        for (int a : answers) ui.messages->queueAnswer(kx::MessageAnswer(a));
        QString folder = m_folder + "/";
        QVERIFY(modUnZip::UnZipArchive(m_archive, folder));
        QCOMPARE(ui.messages->shown().size(), questions);
        const kx::MessageBoxSpec& box = ui.messages->shown().first();
        QCOMPARE(box.text, "Overwrite " + m_folder + "/一.txt?");
        QCOMPARE(box.title, QStringLiteral("VBUnzip - File already exists"));
        QCOMPARE(box.buttons, kx::MessageBoxSpec::Buttons::YesNoCancel);
        QCOMPARE(kxtest::readBytes(m_folder + "/一.txt"), first);
        QCOMPARE(kxtest::readBytes(m_folder + "/子/二.txt"), second);
        QCOMPARE(kxtest::readBytes(m_folder + "/三.txt"), QByteArray("new3"));
    }

    void extractingTwiceAsksOncePerFile() {
        writeArchive(m_archive, {member("a.txt", "a"), member("b/c.txt", "c")});
        kxtest::ScriptedUi ui;
        QString folder = m_folder;
        QVERIFY(modUnZip::UnZipArchive(m_archive, folder));
        QVERIFY(ui.messages->shown().isEmpty());
        QVERIFY(modUnZip::UnZipArchive(m_archive, folder));
        QCOMPARE(ui.messages->shown().size(), 2);
    }

    void encryptedMembersAreNotExtracted() {
        auto secret = member("密.txt", "secret");
        secret.password = "pw";
        writeArchive(m_archive, {member("公开.txt", "open"), secret});
        QCOMPARE(kx::extractZip(m_archive, QDir(m_dir->path()).filePath(""), {}), kx::UnzipResult::Skipped);
        QCOMPARE(kxtest::readBytes(m_dir->filePath("公开.txt")), QByteArray("open"));
        QVERIFY(!QFileInfo::exists(m_dir->filePath("密.txt")));

        writeArchive(m_archive, {secret});
        QString folder = m_folder;
        QVERIFY(!modUnZip::UnZipArchive(m_archive, folder));
        QCOMPARE(kx::extractZip(m_archive, m_folder, {}), kx::UnzipResult::NothingExtracted);
        QCOMPARE(filesBelow(m_folder), QStringList());
    }

    void namesWithoutTheUtf8FlagAreGb18030() {
        QStringEncoder gb18030("GB18030");
        publish::ZipMember raw(
            QByteArray(gb18030.encode(QStringLiteral("定额库/建筑工程.QTDE"))).toStdString(), bytes("gb"));
        raw.rawName = true;
        writeArchive(m_archive, {raw, member("换算库/系统换算库.QTHS", "utf8")});
        QString folder = m_folder;
        QVERIFY(modUnZip::UnZipArchive(m_archive, folder));
        QCOMPARE(filesBelow(m_folder), (QStringList{"定额库/建筑工程.QTDE", "换算库/系统换算库.QTHS"}));
    }

    void membersThatWouldLeaveTheFolderStopTheWholeArchive_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("parent") << "../x";
        QTest::newRow("deeper parent") << "a/../../x";
        QTest::newRow("backslash parent") << "..\\x";
        QTest::newRow("absolute") << "/tmp/kxview-escape-x";
        QTest::newRow("drive") << "C:\\x";
    }
    void membersThatWouldLeaveTheFolderStopTheWholeArchive() {
        QFETCH(QString, name);
        writeArchive(m_archive, {member("good.txt", "g"), member(name, "evil")});
        const auto before = kxtest::snapshot(m_dir->path());
        QString folder = m_folder;
        QVERIFY(!modUnZip::UnZipArchive(m_archive, folder));
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_dir->path())), QStringList());
        QVERIFY(!QFileInfo::exists("/tmp/kxview-escape-x"));
    }

    void aLinkInTheFolderDoesNotCarryAMemberOutside() {
        QTemporaryDir outside;
        QDir().mkpath(m_folder);
        QVERIFY(QFile::link(outside.path(), m_folder + "/链接"));
        writeArchive(m_archive, {member("链接/x.txt", "evil"), member("ok.txt", "ok")});
        QCOMPARE(kx::extractZip(m_archive, m_folder, {}), kx::UnzipResult::Skipped);
        QCOMPARE(filesBelow(outside.path()), QStringList());
        QCOMPARE(kxtest::readBytes(m_folder + "/ok.txt"), QByteArray("ok"));
    }

    void damagedArchivesExtractNothing_data() {
        QTest::addColumn<QString>("damage");
        QTest::newRow("missing") << "missing";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("not a ZIP") << "text";
        QTest::newRow("truncated") << "truncated";
        QTest::newRow("member data damaged") << "flipped";
    }
    void damagedArchivesExtractNothing() {
        QFETCH(QString, damage);
        QByteArray big(200000, 'z');
        for (int i = 0; i < big.size(); i += 7) big[i] = char('a' + i % 26);
        writeArchive(m_archive, {member("大.QTDE", big)});
        QByteArray zip = kxtest::readBytes(m_archive);
        if (damage == "missing") QFile::remove(m_archive);
        if (damage == "empty") kxtest::writeBytes(m_archive, {});
        if (damage == "text") kxtest::writeBytes(m_archive, "<html>404 Not Found</html>");
        if (damage == "truncated") kxtest::writeBytes(m_archive, zip.left(zip.size() / 2));
        if (damage == "flipped") {
            zip[zip.size() / 3] = char(zip[zip.size() / 3] ^ 0x55);
            kxtest::writeBytes(m_archive, zip);
        }
        QDir().mkpath(m_folder);
        QString folder = m_folder;
        QVERIFY(!modUnZip::UnZipArchive(m_archive, folder));
        QCOMPARE(QDir(m_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void xmlAttributesKeepTheirDocumentOrder() {
        const QString path = m_dir->filePath("order.xml");
        QString attributes;
        for (int i = 0; i < 12; ++i) attributes += QStringLiteral(" z%1=\"%2\"").arg(11 - i).arg(i);
        kxtest::writeBytes(path, ("<Update><File" + attributes + "/></Update>").toUtf8());
        kx::XmlDocument document;
        QVERIFY(document.load(path));
        const kx::XmlNode& entry = document.selectSingleNode("Update")->children.first();
        for (int i = 0; i < 12; ++i)
            QCOMPARE(entry.attributeAt(i), std::optional<QString>(QString::number(i)));
        QCOMPARE(entry.attributeAt(12), std::optional<QString>());
    }

    void xmlChildNodesAreElementsCommentsAndText() {
        const QString path = m_dir->filePath("kinds.xml");
        kxtest::writeBytes(
            path, "<Update>\r\n  <!-- note -->\r\n  <File A=\"1\"/>\r\n  loose text\r\n  <Info/></Update>");
        kx::XmlDocument document;
        QVERIFY(document.load(path));
        const kx::XmlNode* update = document.selectSingleNode("Update");
        QVERIFY(update && !document.selectSingleNode("update"));
        QList<kx::XmlNode::Kind> kinds;
        for (const kx::XmlNode& child : update->children) kinds << child.kind;
        using K = kx::XmlNode::Kind;
        QCOMPARE(kinds, (QList<K>{K::Comment, K::Element, K::Text, K::Element}));
        QVERIFY(update->selectSingleNode("Info"));
        QVERIFY(!update->selectSingleNode("info"));
    }

    void xmlThatCannotBeUsedLoadsNothing_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not XML") << QByteArray("PK\x03\x04 this is a zip");
        QTest::newRow("cut short") << QByteArray("<Update><Info Ver=\"1.");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("external entity in an attribute") << QByteArray(
            "<!DOCTYPE Update [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><Update><F A=\"&x;\"/></Update>");
    }
    void xmlThatCannotBeUsedLoadsNothing() {
        QFETCH(QByteArray, content);
        const QString path = m_dir->filePath("bad.xml");
        kxtest::writeBytes(path, content);
        kx::XmlDocument document;
        QVERIFY(!document.load(path));
        QVERIFY(document.documentElement() == nullptr);
        QVERIFY(!document.errorString().isEmpty());
        QVERIFY(!kx::XmlDocument().load(m_dir->filePath("missing.xml")));
    }

    void xmlNeverFetchesExternalEntities() {
        const QString secret = m_dir->filePath("secret.txt");
        kxtest::writeBytes(secret, "SECRET-MARKER");
        const QString path = m_dir->filePath("external.xml");
        kxtest::writeBytes(path, "<!DOCTYPE Update [<!ENTITY x SYSTEM \"file://" + secret.toUtf8() +
                                     "\">]><Update><Info Ver=\"1\">before &x; after</Info></Update>");
        kx::XmlDocument document;
        document.load(path);
        const kx::XmlNode* info = document.selectSingleNode("Update")
                                      ? document.selectSingleNode("Update")->selectSingleNode("Info")
                                      : nullptr;
        QVERIFY(info);
        for (const kx::XmlNode& child : info->children) QVERIFY(!child.text.contains("SECRET-MARKER"));
    }

    void xmlEntityExpansionIsCapped() {
        QByteArray bomb =
            "<!DOCTYPE Update [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
        for (char c = 'b'; c <= 'k'; ++c)
            bomb += QByteArray("<!ENTITY ") + c + " \"" + QByteArray("&") + char(c - 1) + ";" +
                    QByteArray("&") + char(c - 1) + ";&" + char(c - 1) + ";&" + char(c - 1) + ";&" +
                    char(c - 1) + ";\">";
        bomb += "]><Update>&k;</Update>";
        const QString path = m_dir->filePath("bomb.xml");
        kxtest::writeBytes(path, bomb);
        QElapsedTimer clock;
        clock.start();
        kx::XmlDocument document;
        QVERIFY(!document.load(path));
        QVERIFY(clock.elapsed() < 2000);
    }

    void xmlReadsTheDeclaredEncoding() {
        QStringEncoder gbk("GB18030");
        const QString path = m_dir->filePath("gb.xml");
        kxtest::writeBytes(path,
                           QByteArray("<?xml version=\"1.0\" encoding=\"gb2312\"?><Update><Info Ver=\"") +
                               QByteArray(gbk.encode(QStringLiteral("二版"))) + "\"/></Update>");
        kx::XmlDocument document;
        QVERIFY(document.load(path));
        QCOMPARE(document.selectSingleNode("Update")->selectSingleNode("Info")->attributeAt(0),
                 std::optional<QString>("二版"));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_archive;
    QString m_folder;
};

QTEST_MAIN(ArchiveTest)
#include "archive_test.moc"
