// The demo host's update menu end to end: the window serves the sample directory's update-service mirror
// over http on 127.0.0.1, its menu entry runs both updates with the dialogs answered by script, and the
// files land below the application directory and nowhere else. And the demo's file server on its own:
// what it serves and what it refuses.
#include <QAction>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "demo_window.h"
#include "kxview/modupdate.h"
#include "scripted_ui.h"
#include "static_file_server.h"
#include "widgets/controls/formchrome.h"
#include "widgets/update/frmpub_download_price.h"

namespace {

using P = frmPub_DownLoad_Price;

/// Ticks every file the selection marks red (new or changed), as a user taking the offer would.
void tickMarkedFiles(QDialog& dialog) {
    auto* grid = dialog.findChild<QTableWidget*>(QStringLiteral("grdPrice"));
    for (int row = 0; row < grid->rowCount(); ++row) {
        QTableWidgetItem* name = grid->item(row, P::ColName);
        if (name->foreground().color() != kx::basicPaletteColor(12)) continue;
        grid->scrollToItem(name);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(name).center());
    }
}

/// A raw HTTP exchange with the server: the status code, the headers and the body.
struct Response {
    int status = 0;
    QByteArray headers;
    QByteArray body;
};

/// Sends `request` (without its final empty line) to port `port` and reads until the server closes.
Response exchange(quint16 port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request + "\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray received;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { received += socket.readAll(); });
    // The server lives on this thread: the event loop must run while waiting for it.
    if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 10000))
        return {};  // status 0: the server never closed
    received += socket.readAll();
    Response response;
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    response.status = received.mid(9, 3).toInt();
    response.headers = received.left(headEnd);
    response.body = received.mid(headEnd + 4);
    return response;
}

QString percentEncoded(const QString& path) {
    return QString::fromLatin1(QUrl::toPercentEncoding(path, "/"));
}

const QString kInfoFile = QStringLiteral("/更新数据/定额库/建筑工程消耗量定额.xml");
const QString kBigFile = QStringLiteral("/更新数据/大文件.bin");

}  // namespace

class DemoUpdateTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->path() + QLatin1Char('/');
        m_app = m_root + QStringLiteral("app");
        QVERIFY(kxtest::copySampleApp(m_app));
        kxtest::writeBytes(m_root + "outside.txt", "beside the application directory");
    }

    void theMenuEntryInstallsTheOfferedEditionAndTheChosenPriceFiles() {
        demo::DemoWindow window(m_app);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.open(demo::Library::Quota));
        kxtest::ScriptedUi ui;
        QString offered;
        const auto download = [](QDialog&) {};
        ui.dialogs->queue("frmPub_DownLoad", download);  // the information file
        ui.dialogs->queue("frmNet_UpdateDEInfo", [&offered](QDialog& d) {
            offered = d.findChild<QLabel*>("lblTitle")->text();
            d.findChild<QPushButton*>("cmdSure")->click();
        });
        ui.dialogs->queue("frmPub_DownLoad", download);  // the package
        ui.dialogs->queue("frmPub_DownLoad", download);  // the price catalogue
        ui.dialogs->queue("frmPub_DownLoad_Price", [](QDialog& d) {
            tickMarkedFiles(d);
            d.findChild<QPushButton*>("cmdStar")->click();
        });
        ui.dialogs->queue("frmPub_DownLoad", download);  // the two price files
        ui.dialogs->queue("frmPub_DownLoad", download);
        const auto before = kxtest::snapshot(m_root);

        window.findChild<QAction*>("runUpdates")->trigger();

        QCOMPARE(ui.dialogs->shown(),
                 (QStringList{"frmPub_DownLoad", "frmNet_UpdateDEInfo", "frmPub_DownLoad", "frmPub_DownLoad",
                              "frmPub_DownLoad_Price", "frmPub_DownLoad", "frmPub_DownLoad"}));
        QCOMPARE(ui.dialogs->timedOut(), QStringList());
        QCOMPARE(offered, QStringLiteral("当前定额库版本 [1.0] 最新版本 [1.1],更新内容如下："));
        QCOMPARE(ui.messageTexts(), QStringList{"完成[ 2 ]个价格文件的更新"});

        const QStringList changed = kxtest::changedPaths(before, kxtest::snapshot(m_root));
        for (const QString& path : changed) QVERIFY2(path.startsWith("app/"), qPrintable(path));
        const QStringList installed = changed.filter(QStringLiteral("app/造价资料/"));
        QCOMPARE(installed, (QStringList{"app/造价资料/定额库/建筑工程消耗量定额.QTDE",
                                         "app/造价资料/材料价格文件/CJ2018/MatePriceIndex.mdb",
                                         "app/造价资料/材料价格文件/CJ2018/北京2024年2月信息价.QTJG",
                                         "app/造价资料/材料价格文件/CJ2018/北京2024年3月信息价.QTJG"}));
        QCOMPARE(kxtest::keyInfo(m_app + "/造价资料/定额库/建筑工程消耗量定额.QTDE", "Ver"),
                 QStringLiteral("1.1"));
        QCOMPARE(
            kxtest::keyInfo(m_app + "/造价资料/材料价格文件/CJ2018/北京2024年3月信息价.QTJG", "ShortName"),
            QStringLiteral("京24.03"));

        const QStringList log = logLines(window);
        const QStringList expectedLines{"  http GET /更新数据/定额库/建筑工程消耗量定额.rar -> 200",
                                        "UpdateDELibrary(\"建筑工程消耗量定额\") = 0 (installed)",
                                        "  http GET /更新数据/材料价格/CJ2018/北京2024年3月信息价.rar -> 200",
                                        "UpdatePriceFiles(\"CJ2018\") = 2 (price files installed)",
                                        "  installed: 造价资料/定额库/建筑工程消耗量定额.QTDE",
                                        "  installed: 造价资料/材料价格文件/CJ2018/北京2024年3月信息价.QTJG"};
        for (const QString& line : expectedLines) QVERIFY2(log.contains(line), qPrintable(line));
        QCOMPARE(log.last(), QStringLiteral("Load(\"建筑工程消耗量定额.QTDE\") with FindStyle \"DE\""));
    }

    void withoutAMirrorNothingRunsAndTheLogSaysWhy() {
        QVERIFY(QDir(m_app + "/UpdateService").removeRecursively());
        demo::DemoWindow window(m_app);
        kxtest::ScriptedUi ui;
        const auto before = kxtest::snapshot(m_root);
        const demo::UpdateReport report = window.runUpdates();
        QCOMPARE(report.libraryResult, -1);
        QCOMPARE(report.installedFiles, QStringList());
        QCOMPARE(ui.dialogs->shown(), QStringList());
        QVERIFY(logLines(window).last().startsWith("update service not served: no folder at "));
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_root)), QStringList());
    }

    void theServerAnswersFilesBelowItsFolderOnly_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("servedFile");  // the file whose bytes come back; "" for none
        const QByteArray info = "GET " + percentEncoded(kInfoFile).toLatin1() + " HTTP/1.1";
        QTest::newRow("a file by its encoded name") << info << 200 << kInfoFile;
        QTest::newRow("with a query") << QByteArray(info).replace(" HTTP", "?v=2 HTTP") << 200 << kInfoFile;
        QTest::newRow("a file larger than the send queue")
            << "GET " + percentEncoded(kBigFile).toLatin1() + " HTTP/1.1" << 200 << kBigFile;
        QTest::newRow("head") << QByteArray(info).replace("GET", "HEAD") << 200 << QString();
        QTest::newRow("missing") << QByteArray("GET /nothing.rar HTTP/1.1") << 404 << QString();
        QTest::newRow("a folder") << "GET " + percentEncoded("/更新数据").toLatin1() + " HTTP/1.1" << 404
                                  << QString();
        QTest::newRow("dot dot") << QByteArray("GET /../../outside.txt HTTP/1.1") << 404 << QString();
        QTest::newRow("encoded dot dot")
            << QByteArray("GET /%2e%2e/%2E%2E/outside.txt HTTP/1.1") << 404 << QString();
        QTest::newRow("a link that leads out") << QByteArray("GET /link.txt HTTP/1.1") << 404 << QString();
        QTest::newRow("another method") << QByteArray(info).replace("GET", "POST") << 405 << QString();
        QTest::newRow("no request line") << QByteArray("hello") << 400 << QString();
        QTest::newRow("a head too long")
            << "GET /" + QByteArray(20000, 'a') + " HTTP/1.1" << 400 << QString();
    }
    void theServerAnswersFilesBelowItsFolderOnly() {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QString, servedFile);
        const QString folder = m_app + "/UpdateService";
        QByteArray big(3 * 1024 * 1024 + 17, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(big.data()), big.size() / 4);
        kxtest::writeBytes(folder + kBigFile, big);
        QVERIFY(QFile::link(m_root + "outside.txt", folder + "/link.txt"));
        demo::StaticFileServer server(folder);
        QVERIFY(server.listen());
        QSignalSpy served(&server, &demo::StaticFileServer::served);

        const Response response = exchange(QUrl(server.baseUrl()).port(), request);

        QCOMPARE(response.status, status);
        QVERIFY(response.headers.contains("\r\nConnection: close"));
        if (!servedFile.isEmpty()) QCOMPARE(response.body, kxtest::readBytes(folder + servedFile));
        if (request.startsWith("HEAD")) {
            QCOMPARE(response.body, QByteArray());
            const QByteArray length = QByteArray::number(QFileInfo(folder + kInfoFile).size());
            QVERIFY(response.headers.contains("\r\nContent-Length: " + length));
        }
        QTRY_COMPARE(served.size(), 1);
        QCOMPARE(served[0][2].toInt(), status);
    }

    void theServerDoesNotListenWithoutItsFolder() {
        demo::StaticFileServer server(m_root + "nothing");
        QVERIFY(!server.listen());
        QCOMPARE(server.baseUrl(), QString());
        QVERIFY(server.errorString().startsWith("no folder at "));
    }

private:
    static QStringList logLines(const demo::DemoWindow& window) {
        return window.findChild<QPlainTextEdit*>("eventLog")->toPlainText().split('\n');
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
    QString m_app;
};

QTEST_MAIN(DemoUpdateTest)
#include "demo_update_test.moc"
