// The price-file update end to end over HTTP on 127.0.0.1, and the headless kxview-update command: the
// selection grid's marks and tick rules, what is installed, and what failures leave behind.
#include <unistd.h>
#include <QDialog>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "kxview/modupdate.h"
#include "publish/packages.h"
#include "sample/names.h"
#include "scripted_ui.h"
#include "widgets/controls/formchrome.h"
#include "widgets/update/frmpub_download_price.h"

namespace {

using P = frmPub_DownLoad_Price;
const QString kSet = QString::fromUtf8(sample::names::kMaterialKey);

/// One grid row as the user sees it.
struct Row {
    QString text;  // "状态|价格文件|文件", folder rows "|name|"
    bool red = false;
    bool bold = false;
    bool hasBox = false;
    bool operator==(const Row&) const = default;
};

QList<Row> readGrid(QTableWidget* grid) {
    QList<Row> rows;
    for (int r = 0; r < grid->rowCount(); ++r) {
        Row row;
        row.text = grid->item(r, P::ColState)->text() + '|' + grid->item(r, P::ColName)->text() + '|' +
                   grid->item(r, P::ColFile)->text();
        row.red = grid->item(r, P::ColName)->foreground().color() == kx::basicPaletteColor(12);
        row.bold = grid->item(r, P::ColName)->font().bold();
        row.hasBox = grid->item(r, P::ColUpdate)->flags() & Qt::ItemIsUserCheckable;
        rows << row;
    }
    return rows;
}

bool ticked(QTableWidget* grid, int row) {
    return grid->item(row, P::ColUpdate)->checkState() == Qt::Checked;
}

void clickCell(QTableWidget* grid, int row, int column) {
    grid->scrollToItem(grid->item(row, column));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualItemRect(grid->item(row, column)).center());
}

QTableWidget* gridOf(QDialog& d) {
    return d.findChild<QTableWidget*>("grdPrice");
}

void tickEveryFile(QDialog& d) {
    QTableWidget* grid = gridOf(d);
    for (int r = 0; r < grid->rowCount(); ++r)
        if (grid->item(r, P::ColUpdate)->flags() & Qt::ItemIsUserCheckable) clickCell(grid, r, P::ColName);
    d.findChild<QPushButton*>("cmdStar")->click();
}

const QStringList kOfferedFiles{"北京2024年1月信息价.QTJG", "北京2024年2月信息价.QTJG",
                                "北京2024年3月信息价.QTJG", "上海2024年1月信息价.QTJG",
                                "天津2024年1月信息价.QTJG"};

}  // namespace

class PriceUpdateTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_mirror = std::make_unique<kxtest::ServedMirror>();  // tests replace packages in it
        QVERIFY(m_mirror->ok());
        m_served = m_mirror->folder();
        m_server = &m_mirror->server();
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_app = m_dir->path() + "/app/";
        QVERIFY(kxtest::copySampleApp(m_app, {"UpdateService"}));
        m_installed = m_app + "造价资料/材料价格文件/" + kSet + "/";
        m_remote = m_served + "/更新数据/材料价格/" + kSet + "/";
        modUpdate::SetUpdateBaseAddress(m_server->base());
    }

    void theGridMarksNewAndChangedFilesOfAThreeLevelCatalogue() {
        kxtest::ScriptedUi ui;
        QList<Row> rows;
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        ui.dialogs->queue("frmPub_DownLoad_Price", [&rows](QDialog& d) {
            rows = readGrid(gridOf(d));
            d.findChild<QPushButton*>("cmdCancel")->click();
        });
        const auto before = kxtest::snapshot(m_app + "造价资料");
        QCOMPARE(updatePrices(), 0);
        const QList<Row> expected{
            {"|北京市|", false, true, false},
            {"|2024年信息价|", false, true, false},
            {"|北京市2024年1月建设工程材料信息价|北京2024年1月信息价.QTJG", false, false, true},  // same day
            {"|北京市2024年2月建设工程材料信息价（修订）|北京2024年2月信息价.QTJG", true, false,
             true},  // changed
            {"[新]|北京市2024年3月建设工程材料信息价|北京2024年3月信息价.QTJG", true, false, true},
            {"|上海市|", false, true, false},
            {"|上海市2024年1月建设工程材料信息价|上海2024年1月信息价.QTJG", false, false,
             true},  // date recorded
            {"|天津市|", false, true, false},
            {"|天津市2024年1月建设工程材料信息价（修订）|天津2024年1月信息价.QTJG", false, false,
             true},  // no row
        };
        QCOMPARE(rows.size(), expected.size());
        for (int i = 0; i < rows.size(); ++i) QVERIFY2(rows[i] == expected[i], qPrintable(rows[i].text));
        QCOMPARE(ui.messageTexts(), QStringList{"完成[ 0 ]个价格文件的更新"});
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_app + "造价资料")), QStringList());
        QCOMPARE(kxtest::snapshot(m_app + "Temp").keys(), QStringList());  // no catalogue, no package left
    }

    void ticksFollowClicksAndTheBatchSelection() {
        kxtest::ScriptedUi ui;
        for (int i = 0; i < 4; ++i) ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        ui.dialogs->queue("frmPub_DownLoad_Price", [](QDialog& d) {
            QTableWidget* grid = gridOf(d);
            clickCell(grid, 2, P::ColName);
            QVERIFY(ticked(grid, 2));
            clickCell(grid, 2, P::ColCreated);
            QVERIFY(!ticked(grid, 2));
            clickCell(grid, 3, P::ColUpdate);  // the check box itself
            QVERIFY(ticked(grid, 3));
            clickCell(grid, 0, P::ColName);  // a folder row has nothing to tick
            QCOMPARE(grid->item(0, P::ColUpdate)->data(Qt::CheckStateRole), QVariant());
            grid->clearSelection();
            grid->setCurrentCell(5, P::ColName, QItemSelectionModel::NoUpdate);
            grid->setRangeSelected(QTableWidgetSelectionRange(5, 0, 8, 7), true);
            d.findChild<QPushButton*>("cmdRange")->click();
            QVERIFY(ticked(grid, 6) && ticked(grid, 8) && !ticked(grid, 4));
            d.findChild<QPushButton*>("cmdStar")->click();
            auto& form = static_cast<frmPub_DownLoad_Price&>(d);
            QCOMPARE(form.GetUpdateCount(), 3);
            QCOMPARE(form.GetUpdateName(1), QStringLiteral("北京2024年2月信息价.QTJG"));
            QCOMPARE(form.GetUpdateName(3), QStringLiteral("天津2024年1月信息价.QTJG"));
            QCOMPARE(form.GetUpdateName(4), QString());
        });
        const QByteArray offeredCatalogue =
            kxtest::packedMember(m_remote + "MatePriceIndex.rar", "MatePriceIndex.mdb");
        const QByteArray untouched = kxtest::readBytes(m_installed + "北京2024年1月信息价.QTJG");
        QCOMPARE(updatePrices(), 3);
        QCOMPARE(ui.messageTexts(), QStringList{"完成[ 3 ]个价格文件的更新"});
        QCOMPARE(kxtest::readBytes(m_installed + "MatePriceIndex.mdb"), offeredCatalogue);
        for (const QString& file : QStringList{"北京2024年2月信息价.QTJG", "上海2024年1月信息价.QTJG",
                                               "天津2024年1月信息价.QTJG"}) {
            const QString title = QFileInfo(file).completeBaseName();
            QCOMPARE(kxtest::readBytes(m_installed + file),
                     kxtest::packedMember(m_remote + title + ".rar", file));
        }
        QCOMPARE(kxtest::readBytes(m_installed + "北京2024年1月信息价.QTJG"), untouched);
        QCOMPARE(kxtest::snapshot(m_app + "Temp").keys(), QStringList());
    }

    void closingChoosesNothingAndKeepsTheInstalledCatalogue() {
        kxtest::ScriptedUi ui;
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        ui.dialogs->queue("frmPub_DownLoad_Price", [](QDialog& d) {
            clickCell(gridOf(d), 4, P::ColName);
            d.findChild<QPushButton*>("cmdClose")->click();
        });
        const QByteArray installedCatalogue = kxtest::readBytes(m_installed + "MatePriceIndex.mdb");
        QCOMPARE(updatePrices(), 0);
        QCOMPARE(kxtest::readBytes(m_installed + "MatePriceIndex.mdb"), installedCatalogue);
        QVERIFY(!QFile::exists(m_installed + "北京2024年3月信息价.QTJG"));
    }

    void aCatalogueThatDoesNotComeEndsSilently_data() {
        QTest::addColumn<QString>("base");
        QTest::newRow("unreachable server")
            << QStringLiteral("http://127.0.0.1:%1/").arg(kxtest::closedPort());
        QTest::newRow("no such set") << m_server->base() + "没有/";
        QTest::newRow("connection cut") << m_server->base("cut=100");
    }
    void aCatalogueThatDoesNotComeEndsSilently() {
        QFETCH(QString, base);
        modUpdate::SetUpdateBaseAddress(base);
        kxtest::ScriptedUi ui;
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        const auto before = kxtest::snapshot(m_app);
        QCOMPARE(updatePrices(), 0);
        QCOMPARE(ui.dialogs->shown(), QStringList{"frmPub_DownLoad"});
        QVERIFY(ui.messages->shown().isEmpty());
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_app)), QStringList());
    }

    void aSetNewOnThisMachineIsInstalledWhole() {
        const QString data = m_dir->path() + "/另一个数据目录/";
        QDir().mkpath(data);
        kxtest::ScriptedUi ui;
        QList<Row> rows;
        for (int i = 0; i < 6; ++i) ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        ui.dialogs->queue("frmPub_DownLoad_Price", [&rows](QDialog& d) {
            rows = readGrid(gridOf(d));
            tickEveryFile(d);
        });
        QCOMPARE(modUpdate::UpdatePriceFiles(kSet, windows(m_app), windows(data)), 5);
        int fresh = 0;
        for (const Row& row : rows) fresh += row.text.startsWith("[新]") ? 1 : 0;
        QCOMPARE(fresh, 5);
        QStringList expected = kOfferedFiles;
        expected << "MatePriceIndex.mdb";
        expected.sort(Qt::CaseInsensitive);
        QStringList installed = QDir(data + "材料价格文件/" + kSet).entryList(QDir::Files);
        installed.sort(Qt::CaseInsensitive);
        QCOMPARE(installed, expected);
    }

    void oneFileWhosePackageLacksItIsNotInstalled() {
        const QString package = m_remote + "北京2024年3月信息价.rar";
        const QByteArray original = kxtest::readBytes(package);
        const QByteArray checksum = kxtest::readBytes(package + ".sha256");
        const jet::Status status = publish::writeZip(QFile::encodeName(package).toStdString(),
                                                     {publish::ZipMember("别的文件.QTJG", {'x'})});
        QVERIFY(status.ok());
        QFile::remove(package + ".sha256");  // a package published without a checksum, as before them
        kxtest::ScriptedUi ui;
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        const bool installed = modUpdate::UpdatePriceFile(kSet, windows(m_app), windows(m_app + "造价资料/"),
                                                          "北京2024年3月信息价.QTJG");
        kxtest::writeBytes(package, original);
        kxtest::writeBytes(package + ".sha256", checksum);
        QVERIFY(!installed);
        QVERIFY(ui.messages->shown().isEmpty());
        QVERIFY(!QFile::exists(m_installed + "北京2024年3月信息价.QTJG"));
    }

    void anOfferedNameThatIsNoPlainFileNameIsRefused() {
        kxtest::ScriptedUi ui;
        QVERIFY(!modUpdate::UpdatePriceFile(kSet, windows(m_app), windows(m_app + "造价资料/"),
                                            "..\\..\\逃逸.QTJG"));
        QVERIFY(ui.dialogs->shown().isEmpty());
    }

    void commandUpdatesALibraryAndAnswersFromItsOptions_data() {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("version");
        QTest::newRow("--yes goes on") << QStringList{"--yes"} << "0" << 0 << "1.1";
        QTest::newRow("without --yes declines") << QStringList{} << "4" << 4 << "1.0";
    }
    void commandUpdatesALibraryAndAnswersFromItsOptions() {
        QFETCH(QStringList, extra);
        QFETCH(QString, printed);
        QFETCH(int, exitCode);
        QFETCH(QString, version);
        QProcess tool;
        tool.start(KXVIEW_UPDATE_TOOL, QStringList{"de", sample::names::kBuildingTitle, "--app-dir", m_app,
                                                   "--base", m_server->base()} +
                                           extra);
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(tool.readAllStandardOutput()).trimmed(), printed);
        QCOMPARE(tool.exitCode(), exitCode);
        const QString progress = QString::fromUtf8(tool.readAllStandardError());
        QVERIFY2(progress.contains("当前定额库版本 [1.0] 最新版本 [1.1]"), qPrintable(progress));
        QProcess jet;
        jet.start(KXVIEW_JET_TOOL, {"sql", m_app + "造价资料/定额库/建筑工程消耗量定额.QTDE",
                                    "SELECT WithCode FROM KeyInfo WHERE Code='Ver'"});
        QVERIFY(jet.waitForFinished(20000));
        QVERIFY(QString::fromUtf8(jet.readAllStandardOutput()).contains("\"" + version + "\""));
    }

    void commandInstallsTheNamedOrAllPriceFiles_data() {
        QTest::addColumn<QStringList>("choice");
        QTest::addColumn<QString>("printed");
        QTest::newRow("--all") << QStringList{"--all"} << "5";
        QTest::newRow("by title and by file name")
            << QStringList{"北京2024年3月信息价", "上海2024年1月信息价.QTJG"} << "2";
    }
    void commandInstallsTheNamedOrAllPriceFiles() {
        QFETCH(QStringList, choice);
        QFETCH(QString, printed);
        QProcess tool;
        tool.start(KXVIEW_UPDATE_TOOL, QStringList{"prices", kSet, "--app-dir", m_app, "--data-dir",
                                                   m_app + "造价资料", "--base", m_server->base()} +
                                           choice);
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(tool.readAllStandardOutput()).trimmed(), printed);
        QVERIFY(QString::fromUtf8(tool.readAllStandardError())
                    .contains("完成[ " + printed + " ]个价格文件的更新"));
    }

    void commandRefusesIncompleteArguments_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("no base") << QStringList{"de", "x", "--app-dir", "/tmp"};
        QTest::newRow("prices without a choice")
            << QStringList{"prices", "K", "--app-dir", "/a", "--data-dir", "/d", "--base", "b"};
        QTest::newRow("prices with both")
            << QStringList{"prices", "K", "--app-dir", "/a", "--data-dir", "/d", "--base", "b", "--all", "f"};
        QTest::newRow("unknown command") << QStringList{"install", "x", "--app-dir", "/a", "--base", "b"};
    }
    void commandRefusesIncompleteArguments() {
        QFETCH(QStringList, args);
        QProcess tool;
        tool.start(KXVIEW_UPDATE_TOOL, args);
        QVERIFY(tool.waitForFinished(20000));
        QCOMPARE(tool.exitCode(), 64);
    }

    void aPriceFileThatCannotBeReplacedIsReportedInUse() {
        // Run as an ordinary user, for whom a read-only file is really protected.
        const QString locked = m_installed + "北京2024年2月信息价.QTJG";
        const QByteArray before = kxtest::readBytes(locked);
        const bool root = ::geteuid() == 0;
        if (root) {
            QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                     QFile::ReadOther | QFile::ExeOther);
            QCOMPARE(QProcess::execute("chown", {"-R", "65534:65534", m_app}), 0);
            QCOMPARE(QProcess::execute("chown", {"0:0", locked}), 0);
        }
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadOther);
        QProcess tool;
        if (root) {
            tool.setChildProcessModifier([] {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
            });
        }
        tool.start(KXVIEW_UPDATE_TOOL, {"prices", kSet, "--app-dir", m_app, "--data-dir", m_app + "造价资料",
                                        "--base", m_server->base(), "--all"});
        QVERIFY(tool.waitForFinished(60000));
        const QString messages = QString::fromUtf8(tool.readAllStandardError());
        QCOMPARE(tool.exitCode(), 2);  // some of what was asked for is not installed
        QCOMPARE(QString::fromUtf8(tool.readAllStandardOutput()).trimmed(), QStringLiteral("4"));
        QVERIFY2(messages.contains("提示: 北京2024年2月信息价.QTJG正在使用中，无法更新！"),
                 qPrintable(messages));
        QVERIFY2(messages.contains("not installed: 北京2024年2月信息价.QTJG"), qPrintable(messages));
        QCOMPARE(kxtest::readBytes(locked), before);
        QVERIFY(QFile::exists(m_installed + "北京2024年3月信息价.QTJG"));
    }

private:
    int updatePrices() {
        return modUpdate::UpdatePriceFiles(kSet, windows(m_app), windows(m_app + "造价资料/"));
    }
    static QString windows(QString path) { return path.replace('/', '\\'); }

    std::unique_ptr<kxtest::ServedMirror> m_mirror;
    QString m_served;
    kxtest::TestServer* m_server = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_app;
    QString m_installed;
    QString m_remote;
};

QTEST_MAIN(PriceUpdateTest)
#include "price_update_test.moc"
