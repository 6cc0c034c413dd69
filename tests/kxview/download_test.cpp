// The download control and the download dialog against a real HTTP server on 127.0.0.1: files arrive
// whole under their remote names, and every failure leaves the target folder as it was.
#include <QDir>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QtTest>

#include "core/data/modpub_chars.h"
#include "core/io/downloadcontrol.h"
#include "paint_clock.h"
#include "scripted_ui.h"
#include "widgets/update/frmpub_download.h"

using kx::DownloadControl;

namespace {

constexpr int kBigSize = 3 * 1024 * 1024;
const QString kBig = QStringLiteral("更新数据/定额库/大文件.rar");
const QString kEmpty = QStringLiteral("更新数据/空文件.rar");

/// Records the dialog's status text each time the control reports (after the dialog's own handlers).
QStringList* followStatus(frmPub_DownLoad& dialog) {
    auto* texts = new QStringList;
    auto* label = dialog.findChild<QLabel*>(QStringLiteral("lbl"));
    auto record = [texts, label] {
        if (texts->isEmpty() || texts->last() != label->text()) *texts << label->text();
    };
    DownloadControl& dl = dialog.control();
    for (auto signal : {&DownloadControl::transferBegan, &DownloadControl::cancelled})
        QObject::connect(&dl, signal, &dialog, record);
    QObject::connect(&dl, &DownloadControl::connecting, &dialog, record);
    QObject::connect(&dl, &DownloadControl::progress, &dialog, record);
    QObject::connect(&dl, &DownloadControl::failed, &dialog, record);
    QObject::connect(&dl, &DownloadControl::completed, &dialog, record);
    return texts;
}

}  // namespace

class DownloadTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_served.isValid());
        m_big = QByteArray(kBigSize, Qt::Uninitialized);
        QRandomGenerator random(7);
        random.fillRange(reinterpret_cast<quint32*>(m_big.data()), kBigSize / 4);
        kxtest::writeBytes(m_served.filePath(kBig), m_big);
        kxtest::writeBytes(m_served.filePath(kEmpty), QByteArray());
        m_server = std::make_unique<kxtest::TestServer>(m_served.path());
        QVERIFY(m_server->isListening());
    }

    void init() { QVERIFY(m_target.isValid()); }
    void cleanup() {
        QDir(m_target.path()).removeRecursively();
        QDir().mkpath(m_target.path());
    }

    void formatByteSize_data() {
        QTest::addColumn<qint32>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << "0b";
        QTest::newRow("below a kilobyte") << 1023 << "1023b";
        QTest::newRow("exactly 1024") << 1024 << "1k";
        QTest::newRow("kilobytes cut, not rounded") << 1048575 << "1023k";
        QTest::newRow("exactly 1048576") << 1048576 << "1M";
        QTest::newRow("one and a half") << 1572864 << "1.5M";
        QTest::newRow("half a tenth rounds away from zero") << 1310720 << "1.3M";
        QTest::newRow("whole megabytes lose .0") << 10485760 << "10M";
        QTest::newRow("just below 512 MB") << 536870911 << "512M";
        QTest::newRow("512 MB switches to G") << 536870912 << "0.5G";
        QTest::newRow("600 MB") << 629145600 << "0.6G";
        QTest::newRow("largest Long") << 2147483647 << "2G";
        QTest::newRow("negative") << -5 << "-5b";
    }
    void formatByteSize() {
        QFETCH(qint32, bytes);
        QFETCH(QString, text);
        QCOMPARE(modPub_Chars::FormatByteSize(bytes), text);
    }

    void fetchesUnderTheRemoteNameAndReportsInOrder_data() {
        QTest::addColumn<QString>("behaviour");
        QTest::newRow("plain") << QString();
        QTest::newRow("through a redirect") << QStringLiteral("redirect");
    }
    void fetchesUnderTheRemoteNameAndReportsInOrder() {
        QFETCH(QString, behaviour);
        DownloadControl dl;
        QStringList events;
        QObject::connect(&dl, &DownloadControl::transferBegan, [&] { events << "began"; });
        QObject::connect(&dl, &DownloadControl::connecting,
                         [&](const QString& host) { events << "connecting " + host; });
        QObject::connect(&dl, &DownloadControl::progress, [&](float, qint32 total) {
            if (events.last() != "progress") events << "progress";
            QCOMPARE(total, kBigSize);
        });
        QSignalSpy completed(&dl, &DownloadControl::completed);
        dl.setUrl(m_server->base(behaviour) + QStringLiteral("更新数据\\定额库\\大文件.rar"));
        dl.setTargetFolder(m_target.path());
        dl.start();
        QVERIFY(completed.wait(20000));
        QCOMPARE(completed.first().first().toInt(), kBigSize);
        QCOMPARE(events, (QStringList{"began", "connecting 127.0.0.1", "progress"}));
        QCOMPARE(QDir(m_target.path()).entryList(QDir::Files), QStringList{"大文件.rar"});
        QVERIFY(kxtest::readBytes(m_target.filePath("大文件.rar")) == m_big);
        QVERIFY(m_server->requests().contains(QStringLiteral("/更新数据/定额库/大文件.rar")));
    }

    void fetchesOverHttps() {
        QTemporaryDir certs;
        QString certificate, key;
        QVERIFY2(kxtest::makeCertificate(certs.path(), certificate, key),
                 "openssl could not make a certificate");
        kxtest::TestServer tls(m_served.path(), certificate, key);
        QVERIFY(tls.isListening());
        const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
        QSslConfiguration trusting = original;
        trusting.addCaCertificates(certificate);
        QSslConfiguration::setDefaultConfiguration(trusting);
        DownloadControl dl;
        QSignalSpy completed(&dl, &DownloadControl::completed);
        dl.setUrl(tls.base() + kBig);
        dl.setTargetFolder(m_target.path());
        dl.start();
        const bool arrived = completed.wait(20000);
        QSslConfiguration::setDefaultConfiguration(original);
        QVERIFY(arrived);
        QCOMPARE(completed.first().first().toInt(), kBigSize);
        QVERIFY(kxtest::readBytes(m_target.filePath("大文件.rar")) == m_big);
    }

    void copiesFromAFolderGivenWithWindowsSpelling() {
        QString folder = m_served.path() + QStringLiteral("/更新数据/定额库/");
        folder.replace('/', '\\');
        DownloadControl dl;
        QSignalSpy completed(&dl, &DownloadControl::completed);
        QSignalSpy progress(&dl, &DownloadControl::progress);
        dl.setUrl(folder + QStringLiteral("大文件.RAR"));
        dl.setTargetFolder(m_target.path());
        dl.start();
        QVERIFY(completed.wait(20000));
        QCOMPARE(completed.first().first().toInt(), kBigSize);
        QVERIFY(!progress.isEmpty());
        QVERIFY(kxtest::readBytes(m_target.filePath("大文件.rar")) == m_big);
    }

    void failuresLeaveTheTargetFolderAsItWas_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("code");
        const QString big = QStringLiteral("更新数据/定额库/大文件.rar");
        QTest::newRow("unreachable server")
            << QStringLiteral("http://127.0.0.1:%1/%2").arg(kxtest::closedPort()).arg(big) << 99;
        QTest::newRow("404") << m_server->base() + QStringLiteral("更新数据/没有.rar") << 1;
        QTest::newRow("connection cut mid-transfer") << m_server->base("cut=100000") + big << 99;
        QTest::newRow("empty file") << m_server->base() + kEmpty << 3;
        QTest::newRow("redirect loop") << m_server->base("loop") + big << 2;
        QTest::newRow("no file name in the address") << m_server->base() + QStringLiteral("更新数据/") << 1;
        QTest::newRow("missing local file") << m_served.path() + QStringLiteral("/没有.rar") << 1;
    }
    void failuresLeaveTheTargetFolderAsItWas() {
        QFETCH(QString, url);
        QFETCH(int, code);
        kxtest::writeBytes(m_target.filePath("大文件.rar"), "old");
        const auto before = kxtest::snapshot(m_target.path());
        DownloadControl dl;
        QSignalSpy failed(&dl, &DownloadControl::failed);
        QSignalSpy completed(&dl, &DownloadControl::completed);
        dl.setUrl(url);
        dl.setTargetFolder(m_target.path());
        dl.start();
        QVERIFY(completed.wait(20000));
        QCOMPARE(completed.first().first().toInt(), 0);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().toInt(), code);
        QVERIFY(!dl.isRunning());
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_target.path())), QStringList());
    }

    void unwritableTargetFolderFailsBeforeAnythingIsFetched() {
        const QString notAFolder = m_target.filePath("plain-file");
        kxtest::writeBytes(notAFolder, "x");
        DownloadControl dl;
        QSignalSpy failed(&dl, &DownloadControl::failed);
        QSignalSpy completed(&dl, &DownloadControl::completed);
        const int requestsBefore = m_server->requests().size();
        dl.setUrl(m_server->base() + kBig);
        dl.setTargetFolder(notAFolder);
        dl.start();
        QVERIFY(completed.wait(5000));
        QCOMPARE(failed.first().first().toInt(), 1);
        QCOMPARE(m_server->requests().size(), requestsBefore);
    }

    void existingFileIsKeptWhenReplacingIsOff() {
        kxtest::writeBytes(m_target.filePath("大文件.rar"), "old");
        DownloadControl dl;
        QSignalSpy failed(&dl, &DownloadControl::failed);
        dl.setReplaceExisting(false);
        dl.setUrl(m_server->base() + kBig);
        dl.setTargetFolder(m_target.path());
        dl.start();
        QVERIFY(failed.wait(5000));
        QCOMPARE(failed.first().first().toInt(), 1);
        QCOMPARE(kxtest::readBytes(m_target.filePath("大文件.rar")), QByteArray("old"));
    }

    void cancelMidTransferKeepsTheOldFile() {
        kxtest::writeBytes(m_target.filePath("大文件.rar"), "old");
        DownloadControl dl;
        QSignalSpy progress(&dl, &DownloadControl::progress);
        QSignalSpy cancelled(&dl, &DownloadControl::cancelled);
        QSignalSpy failed(&dl, &DownloadControl::failed);
        QSignalSpy completed(&dl, &DownloadControl::completed);
        dl.setUrl(m_server->base("slow=20000") + kBig);
        dl.setTargetFolder(m_target.path());
        dl.start();
        QVERIFY(progress.wait(10000));
        dl.cancel();
        QCOMPARE(cancelled.size(), 1);
        QCOMPARE(failed.first().first().toInt(), int(DownloadControl::Cancelled));
        QTest::qWait(100);
        QVERIFY(completed.isEmpty());
        QCOMPARE(QDir(m_target.path()).entryList(QDir::Files), QStringList{"大文件.rar"});
        QCOMPARE(kxtest::readBytes(m_target.filePath("大文件.rar")), QByteArray("old"));
    }

    void serverStoppedMidDownloadLeavesNoPartialFile() {
        kxtest::TestServer doomed(m_served.path());
        QVERIFY(doomed.isListening());
        DownloadControl dl;
        QSignalSpy progress(&dl, &DownloadControl::progress);
        QSignalSpy failed(&dl, &DownloadControl::failed);
        QSignalSpy completed(&dl, &DownloadControl::completed);
        dl.setUrl(doomed.base("stall=1000000") + kBig);
        dl.setTargetFolder(m_target.path());
        dl.start();
        QTRY_VERIFY_WITH_TIMEOUT(!progress.isEmpty() && progress.last().first().toFloat() > 0.2f, 10000);
        doomed.kill();
        QVERIFY(completed.wait(20000));
        QCOMPARE(completed.first().first().toInt(), 0);
        QCOMPARE(failed.first().first().toInt(), 99);
        QCOMPARE(QDir(m_target.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void dialogShowsEachStageAndClosesWithSuccess() {
        kxtest::ScriptedUi ui;
        frmPub_DownLoad dialog;
        std::unique_ptr<QStringList> texts(followStatus(dialog));
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        dialog.SetTitle(QStringLiteral("下载更新定额库"));
        dialog.SetURL(m_server->base() + kBig);
        dialog.SetSaveAsFullName(m_target.path() + QStringLiteral("/新建/子目录/"));
        dialog.SetAutoDownLoad(true);
        dialog.SetCompleteClose(true);
        dialog.showModal();
        QCOMPARE(dialog.GetUnloadState(), 0);
        QVERIFY(dialog.GetCompleteDownLoad());
        QVERIFY(kxtest::readBytes(m_target.filePath("新建/子目录/大文件.rar")) == m_big);
        QCOMPARE(texts->first(), QStringLiteral("开始下载..."));
        QCOMPARE(texts->at(1), QStringLiteral("连接到 127.0.0.1"));
        QVERIFY2(texts->at(2).endsWith(QStringLiteral("% of 3M")), qPrintable(texts->at(2)));
        QCOMPARE(texts->last(), QStringLiteral("3M完成"));
        QVERIFY(!dialog.findChild<QPushButton*>("cmdStart")->isVisible());
        QCOMPARE(dialog.findChild<QProgressBar*>()->value(), dialog.findChild<QProgressBar*>()->maximum());
    }

    void dialogReportsErrorsAndFailureWithItsTexts_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("errorText");
        QTest::newRow("404") << m_server->base() + QStringLiteral("没有.rar")
                             << "错误 - 不可下载文件: 服务器返回 HTTP 404 Not Found";
        QTest::newRow("redirect loop") << m_server->base("loop") + kBig << "错误 - 重定向: ";
        QTest::newRow("empty") << m_server->base() + kEmpty << "错误 - 没有字节返回: 没有收到数据";
        QTest::newRow("cut") << m_server->base("cut=1000") + kBig << "错误 - 不明错误: ";
    }
    void dialogReportsErrorsAndFailureWithItsTexts() {
        QFETCH(QString, url);
        QFETCH(QString, errorText);
        kxtest::ScriptedUi ui;
        frmPub_DownLoad dialog;
        std::unique_ptr<QStringList> texts(followStatus(dialog));
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        dialog.SetURL(url);
        dialog.SetSaveAsFullName(m_target.path() + "/");
        dialog.SetAutoDownLoad(true);
        dialog.SetCompleteClose(true);
        dialog.showModal();
        QCOMPARE(dialog.GetUnloadState(), 1);
        QVERIFY(!dialog.GetCompleteDownLoad());
        QCOMPARE(texts->last(), QStringLiteral("下载失败"));
        QVERIFY2(texts->at(texts->size() - 2).startsWith(errorText), qPrintable(texts->join(" | ")));
        QVERIFY(ui.dialogs->timedOut().isEmpty());
    }

    void startButtonFetchesAndTheDialogStaysOpenWithoutCompleteClose() {
        kxtest::ScriptedUi ui;
        ui.dialogs->setFinishTimeout(1500);
        frmPub_DownLoad dialog;
        dialog.SetURL(m_server->base() + kBig);
        dialog.SetSaveAsFullName(m_target.path() + "/");
        dialog.SetTitle(QStringLiteral("准备"));
        dialog.SetAutoDownLoad(false);
        dialog.SetCompleteClose(false);
        QSignalSpy completed(&dialog.control(), &DownloadControl::completed);
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog& d) {
            QVERIFY(d.findChild<QPushButton*>("cmdStart")->isVisible());
            QCOMPARE(d.findChild<QLabel*>("lbl")->text(), QStringLiteral("准备"));
            d.findChild<QPushButton*>("cmdStart")->click();
        });
        dialog.showModal();
        QCOMPARE(completed.size(), 1);
        QCOMPARE(ui.dialogs->timedOut(), QStringList{"frmPub_DownLoad"});  // still open after completion
        QCOMPARE(dialog.findChild<QLabel*>("lbl")->text(), QStringLiteral("3M完成"));
        QCOMPARE(dialog.GetUnloadState(), 1);
        QVERIFY(!dialog.GetCompleteDownLoad());
    }

    void automaticStartWithoutCompleteCloseCountsAsFailure() {
        kxtest::ScriptedUi ui;
        frmPub_DownLoad dialog;
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        dialog.SetURL(m_server->base() + kBig);
        dialog.SetSaveAsFullName(m_target.path() + "/");
        dialog.SetAutoDownLoad(true);
        dialog.SetCompleteClose(false);
        dialog.showModal();
        QVERIFY(ui.dialogs->timedOut().isEmpty());
        QCOMPARE(dialog.GetUnloadState(), 1);
        QVERIFY(!dialog.GetCompleteDownLoad());
        QVERIFY(QFile::exists(m_target.filePath("大文件.rar")));
    }

    void cancelButtonStopsTheTransferAndKeepsItsText() {
        kxtest::ScriptedUi ui;
        frmPub_DownLoad dialog;
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog& d) {
            auto& form = static_cast<frmPub_DownLoad&>(d);
            QSignalSpy progress(&form.control(), &DownloadControl::progress);
            QVERIFY(progress.wait(10000));
            d.findChild<QPushButton*>("cmdCancel")->click();
        });
        dialog.SetURL(m_server->base("slow=20000") + kBig);
        dialog.SetSaveAsFullName(m_target.path() + "/");
        dialog.SetAutoDownLoad(true);
        dialog.SetCompleteClose(true);
        dialog.showModal();
        QCOMPARE(dialog.GetUnloadState(), 1);
        QCOMPARE(dialog.findChild<QLabel*>("lbl")->text(), QStringLiteral("取消下载"));
        QVERIFY(!dialog.control().isRunning());
        QCOMPARE(QDir(m_target.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void closeImageHighlightsOnHoverAndClosesOnClick() {
        kxtest::ScriptedUi ui;
        frmPub_DownLoad dialog;
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog& d) {
            auto* normal = d.findChild<QLabel*>("btn1");
            auto* highlighted = d.findChild<QLabel*>("btn2");
            QVERIFY(!highlighted->isVisible());
            QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
            QApplication::sendEvent(normal, &enter);
            QVERIFY(highlighted->isVisible());
            QCOMPARE(highlighted->geometry(), normal->geometry());
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(highlighted, &leave);
            QVERIFY(!highlighted->isVisible());
            QApplication::sendEvent(normal, &enter);
            QTest::mouseClick(highlighted, Qt::LeftButton);
        });
        dialog.SetURL(m_server->base() + kBig);
        dialog.SetAutoDownLoad(false);
        dialog.showModal();
        QVERIFY(ui.dialogs->timedOut().isEmpty());
        QCOMPARE(dialog.GetUnloadState(), 1);
    }

    void progressWithUnknownTotalAndErrorCodeFour() {
        frmPub_DownLoad dialog;
        auto* label = dialog.findChild<QLabel*>("lbl");
        emit dialog.control().progress(0.0f, 0);
        QCOMPARE(label->text(), QStringLiteral("0% of 0b"));
        emit dialog.control().failed(4, QStringLiteral("x"));
        QCOMPARE(label->text(), QStringLiteral("0% of 0b"));
        emit dialog.control().failed(7, QStringLiteral("y"));
        QCOMPARE(label->text(), QStringLiteral("错误 - : y"));
    }

    void statusIsPaintedAtLeastEveryTwoHundredMilliseconds() {
        kxtest::ScriptedUi ui;
        frmPub_DownLoad dialog;
        kxtest::PaintClock clock(dialog.findChild<QLabel*>("lbl"));
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        dialog.SetURL(m_server->base("slow=30000") + kBig);  // about a second at 3 MB/s
        dialog.SetSaveAsFullName(m_target.path() + "/");
        dialog.SetAutoDownLoad(true);
        dialog.SetCompleteClose(true);
        dialog.showModal();
        QVERIFY(dialog.GetCompleteDownLoad());
        QVERIFY2(clock.paints() >= 5, qPrintable(QString::number(clock.paints())));
        QVERIFY2(clock.longestGapMs() < 200, qPrintable(QString::number(clock.longestGapMs())));
    }

private:
    QTemporaryDir m_served;
    QTemporaryDir m_target;
    QByteArray m_big;
    std::unique_ptr<kxtest::TestServer> m_server;
};

QTEST_MAIN(DownloadTest)
#include "download_test.moc"
