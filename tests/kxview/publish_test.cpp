// The publisher: the sample's data folder (libraries and price files written by this project's engine)
// published as an update service, read back with unzip and mdbtools; equal bytes from equal input; what
// stops a publication; and a published folder served by nginx updating a fresh application folder.
#include <sys/prctl.h>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include "core/data/modpub_db.h"
#include "publish/publisher.h"
#include "sample/names.h"
#include "update_support.h"

namespace {

const QString kData = QStringLiteral("/造价资料/");
const QString kSet = QString::fromUtf8(sample::names::kMaterialKey);
// In name order, which the packages follow; the supplement has no system conversion library.
const QStringList kInstalledTitles{"仿古建筑工程消耗量定额", "园林绿化工程消耗量定额",
                                   "园林绿化工程补充定额",   "安装工程消耗量定额",
                                   "建筑工程消耗量定额",     "房屋修缮工程消耗量定额"};
// In the installed catalogue's order, which the packages follow.
const QStringList kCataloguedPrices{"北京2024年1月信息价.QTJG", "北京2024年2月信息价.QTJG",
                                    "上海2024年1月信息价.QTJG", "项目询价.QTJG", "公司内部价格.QTJG"};

/// The library's system conversion library below the quota folder, when the sample gives it one.
QStringList systemConversions(const QString& dataFolder, const QString& title) {
    const QString system = "换算库/" + title + "_系统换算库.QTHS";
    return QFileInfo::exists(dataFolder + "定额库/" + system) ? QStringList{system} : QStringList{};
}

QString run(const QString& program, const QStringList& args, int* exitCode = nullptr) {
    QProcess process;
    process.start(program, args);
    process.waitForFinished(120000);
    if (exitCode) *exitCode = process.exitCode();
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

/// nginx serving a folder on 127.0.0.1 as a foreground child process, with a configuration of its own.
class Nginx {
public:
    Nginx(const QString& binary, const QString& root, const QString& work) {
        m_port = kxtest::closedPort();
        QDir().mkpath(work + "/temp");
        kxtest::writeBytes(work + "/nginx.conf", QString(R"(daemon off;
master_process off;
pid %1/nginx.pid;
error_log %1/error.log;
events { worker_connections 64; }
http {
    access_log %1/access.log;
    client_body_temp_path %1/temp;
    proxy_temp_path %1/temp;
    fastcgi_temp_path %1/temp;
    uwsgi_temp_path %1/temp;
    scgi_temp_path %1/temp;
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:%2;
        root %3;
    }
}
)")
                                                     .arg(work)
                                                     .arg(m_port)
                                                     .arg(root)
                                                     .toUtf8());
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(binary, {"-p", work, "-e", work + "/error.log", "-c", work + "/nginx.conf"});
        for (int i = 0; i < 100 && m_process.state() != QProcess::NotRunning; ++i) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            if (probe.waitForConnected(100)) return;
            QTest::qWait(50);
        }
        m_port = 0;
    }
    ~Nginx() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool isListening() const { return m_port != 0; }
    QString base() const { return QString("http://127.0.0.1:%1/").arg(m_port); }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

}  // namespace

class PublishTest : public QObject {
    Q_OBJECT

private slots:
    /// The sample's data folder as a maker publishes it, without what the sample holds for the pickers that
    /// no update service offers: a price catalogue entry whose file was never downloaded, and a price folder
    /// without its catalogue.
    void initTestCase() {
        QVERIFY(m_sourceDir.isValid());
        m_source = m_sourceDir.path() + kData;
        QVERIFY(kxtest::copyTree(kxtest::sampleApp() + kData, m_source));
        const auto& cases = sample::names::kPickerCases;
        const QString missing = QString::fromUtf8(cases.missingPrice) + ".QTJG";
        QVERIFY(!QFileInfo::exists(m_source + "材料价格文件/" + kSet + "/" + missing));
        auto db = modPub_DB::OpenDB(m_source + "材料价格文件/" + kSet + "/MatePriceIndex.mdb");
        db->Execute("DELETE FROM Index WHERE WithFileName='" + missing + "'");
        db->Close();
        QVERIFY(QDir(m_source + "材料价格文件/" + cases.secondMaterialKey).removeRecursively());
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->path() + "/";
    }

    void theDataFolderBecomesAnUpdateService() {
        publish::Publication publication;
        const jet::Status status = publish::publishFolder(m_source, m_root + "service", {}, publication);
        QVERIFY2(status.ok(), status.toString().c_str());
        QStringList packages;
        for (const QString& title : kInstalledTitles) packages << "更新数据/定额库/" + title + ".rar";
        for (const QString& file : kCataloguedPrices)
            packages << "更新数据/材料价格/" + kSet + "/" + QFileInfo(file).completeBaseName() + ".rar";
        packages << "更新数据/材料价格/" + kSet + "/MatePriceIndex.rar";
        QCOMPARE(publication.packages, packages);
        for (const QString& package : std::as_const(packages)) {
            const QString path = m_root + "service/" + package;
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray digest =
                QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
            QCOMPARE(kxtest::readBytes(path + ".sha256"),
                     digest + "  " + QFileInfo(path).fileName().toUtf8() + "\n");
        }
        for (const QString& title : kInstalledTitles) {
            const QString package = m_root + "service/更新数据/定额库/" + title + ".rar";
            QCOMPARE(kxtest::packedMember(package, title + ".QTDE"),
                     kxtest::readBytes(m_source + "定额库/" + title + ".QTDE"));
            const QString manifest = QString::fromUtf8(kxtest::packedMember(package, "Update.xml"));
            QVERIFY2(manifest.contains("Target=\"...\\造价资料\\定额库\\" + title + ".QTDE\""),
                     qPrintable(manifest));
            const QStringList system = systemConversions(m_source, title);
            QCOMPARE(manifest.contains("_系统换算库"), !system.isEmpty());
            for (const QString& file : system) {
                QCOMPARE(kxtest::packedMember(package, file), kxtest::readBytes(m_source + "定额库/" + file));
                QVERIFY(manifest.contains("Target=\"...\\造价资料\\定额库\\换算库\\" +
                                          QFileInfo(file).fileName() + "\""));
            }
            QVERIFY(!manifest.contains("_用户换算库"));  // the user's own conversions are never replaced
            const QString information =
                QString::fromUtf8(kxtest::readBytes(m_root + "service/更新数据/定额库/" + title + ".xml"));
            QVERIFY(information.contains(
                "<Info Ver=\"" + kxtest::keyInfo(m_source + "定额库/" + title + ".QTDE", "Ver") + "\""));
        }
        QCOMPARE(kxtest::packedMember(m_root + "service/更新数据/材料价格/" + kSet + "/MatePriceIndex.rar",
                                      "MatePriceIndex.mdb"),
                 kxtest::readBytes(m_source + "材料价格文件/" + kSet + "/MatePriceIndex.mdb"));
        QVERIFY(!QFileInfo::exists(m_root + "service.partial"));
    }

    void equalInputGivesEqualBytes() {
        publish::Publication first, second;
        QVERIFY(publish::publishFolder(m_source, m_root + "one", {}, first).ok());
        QVERIFY(publish::publishFolder(m_source, m_root + "two", {}, second).ok());
        QCOMPARE(kxtest::snapshot(m_root + "one"), kxtest::snapshot(m_root + "two"));
    }

    void whatStopsAPublicationLeavesNothing_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("a catalogue naming a path") << "path"
                                                   << "no plain file name";
        QTest::newRow("a catalogue naming a file that is not there") << "missing"
                                                                     << "which is not in";
        QTest::newRow("two price files of one title") << "title"
                                                      << "two price files titled";
        QTest::newRow("a price set without its catalogue") << "nocatalogue"
                                                           << "no MatePriceIndex.mdb";
        QTest::newRow("a destination that holds files") << "destination"
                                                        << "is not an empty folder";
    }
    void whatStopsAPublicationLeavesNothing() {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        const QString source = m_root + "source/";
        const QString set = source + "材料价格文件/" + kSet + "/";
        QVERIFY(kxtest::copyTree(m_source + "材料价格文件/" + kSet, set));
        if (fault == "path") addCatalogueEntry(set + "MatePriceIndex.mdb", "..\\外.QTJG");
        if (fault == "missing") addCatalogueEntry(set + "MatePriceIndex.mdb", "不在.QTJG");
        if (fault == "title") {
            QVERIFY(QFile::copy(set + "项目询价.QTJG", set + "项目询价.JG"));
            addCatalogueEntry(set + "MatePriceIndex.mdb", "项目询价.JG");
        }
        if (fault == "nocatalogue") QVERIFY(QFile::remove(set + "MatePriceIndex.mdb"));
        if (fault == "destination") kxtest::writeBytes(m_root + "service/mine.txt", "mine");
        const auto before = kxtest::snapshot(m_root);
        publish::Publication publication;
        const jet::Status status = publish::publishFolder(source, m_root + "service", {}, publication);
        QVERIFY(!status.ok());
        QVERIFY2(QString::fromStdString(status.toString()).contains(message), status.toString().c_str());
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_root)), QStringList());
        QVERIFY(!QFileInfo::exists(m_root + "service.partial"));
        QVERIFY(publication.packages.isEmpty());
    }

    void aPublishedFolderServedByNginxUpdatesAFreshApplicationFolder() {
        const QString nginx =
            QStandardPaths::findExecutable("nginx").isEmpty()
                ? QStandardPaths::findExecutable("nginx", {"/usr/sbin", "/usr/local/sbin", "/sbin"})
                : QStandardPaths::findExecutable("nginx");
        if (nginx.isEmpty()) QSKIP("nginx is not installed (scripts/setup-deps.sh installs nginx-light)");
        int code = -1;
        const QString published = run(KXVIEW_PUBLISH_TOOL, {m_source, m_root + "service"}, &code);
        QVERIFY2(code == 0, qPrintable(published));
        Nginx server(nginx, m_root + "service", m_root + "nginx");
        QVERIFY2(server.isListening(),
                 qPrintable(QString::fromUtf8(kxtest::readBytes(m_root + "nginx/error.log"))));

        const QString app = m_root + "新装/";
        QDir().mkpath(app);
        for (const QString& title : kInstalledTitles) {
            const QString output =
                run(KXVIEW_UPDATE_TOOL, {"de", title, "--app-dir", app, "--base", server.base()}, &code);
            QVERIFY2(code == 0, qPrintable(output));
            for (const QString& file : QStringList{title + ".QTDE"} + systemConversions(m_source, title))
                QCOMPARE(kxtest::readBytes(app + "造价资料/定额库/" + file),
                         kxtest::readBytes(m_source + "定额库/" + file));
            const QString library = app + "造价资料/定额库/" + title + ".QTDE";
            QCOMPARE(kxtest::mdbCount(library, "DM"), kxtest::tableRows(library, "DM"));
        }
        const QString output = run(KXVIEW_UPDATE_TOOL,
                                   {"prices", kSet, "--app-dir", app, "--data-dir", app + "造价资料",
                                    "--base", server.base(), "--all"},
                                   &code);
        QVERIFY2(code == 0, qPrintable(output));
        for (const QString& file : kCataloguedPrices + QStringList{"MatePriceIndex.mdb"})
            QCOMPARE(kxtest::readBytes(app + "造价资料/材料价格文件/" + kSet + "/" + file),
                     kxtest::readBytes(m_source + "材料价格文件/" + kSet + "/" + file));
        // Each package was checked against its checksum, over nginx.
        const QString access = QString::fromUtf8(kxtest::readBytes(m_root + "nginx/access.log"));
        QCOMPARE(access.count(".rar.sha256 HTTP/1.1\" 200"),
                 kInstalledTitles.size() + kCataloguedPrices.size() + 1);
    }

private:
    static void addCatalogueEntry(const QString& catalogue, const QString& fileName) {
        auto db = modPub_DB::OpenDB(catalogue);
        auto rows = db->OpenRecordset("Index");
        rows->AddNew();
        rows->SetValue("ParentID", 1);
        rows->SetValue("Name", "添加的");
        rows->SetValue("OCode", 99);
        rows->SetValue("WithFileName", fileName);
        rows->Update();
        rows->Close();
        db->Close();
    }

    QTemporaryDir m_sourceDir;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
    QString m_source;
};

QTEST_GUILESS_MAIN(PublishTest)
#include "publish_test.moc"
