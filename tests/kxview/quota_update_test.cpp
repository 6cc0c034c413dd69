// The quota-library update end to end: the sample directory's update mirror and generated fault packages
// served over HTTP on 127.0.0.1, dialogs answered by script, and the files on disk checked before and after.
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QStringEncoder>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "kxview/modupdate.h"
#include "publish/packages.h"
#include "sample/names.h"
#include "scripted_ui.h"

namespace {

const QString kQuotaRemote = QStringLiteral("更新数据/定额库/");
const QString kFixture =
    QStringLiteral("测试定额");  // a library that is not installed: straight to its package

/// What the information dialog showed when the script answered it.
struct InfoSeen {
    QString title;
    QStringList lines;
    QList<bool> emphasised;
};

/// Answers the information dialog with `button` after noting what it shows.
kx::ScriptedDialogService::Script answerInfo(InfoSeen* seen, const QString& button) {
    return [seen, button](QDialog& d) {
        seen->title = d.findChild<QLabel*>("lblTitle")->text();
        auto* grid = d.findChild<QTableWidget*>();
        for (int row = 1; row < grid->rowCount(); ++row) {
            seen->lines << grid->item(row, 1)->text();
            seen->emphasised << grid->item(row, 1)->font().bold();
        }
        d.findChild<QPushButton*>(button)->click();
    };
}

publish::ZipMember member(const QString& name, const QByteArray& content) {
    return publish::ZipMember(name.toStdString(), std::vector<uint8_t>(content.begin(), content.end()));
}

/// The members `files` with Update.xml holding `manifestText`.
std::vector<publish::ZipMember> withManifest(std::vector<publish::ZipMember> files,
                                             const QByteArray& manifestText) {
    files.push_back(member("Update.xml", manifestText));
    return files;
}

QByteArray manifest(const std::vector<publish::ManifestEntry>& entries) {
    return QByteArray::fromStdString(publish::updateManifest(entries));
}

/// How the fixture library's package is offered.
struct Fixture {
    std::vector<publish::ZipMember> members;  // the ZIP package (none: no package on the service)
    std::optional<QByteArray> raw;            // bytes served instead of a ZIP package
    QString behaviour;                        // the server's misbehaviour
    bool unreachable = false;                 // no server at all
    bool truncate = false;                    // the package loses its last bytes
};

Fixture fixtureFor(const QString& fault, const QString& root) {
    const publish::ManifestEntry good{"好.QTDE", "...\\造价资料\\定额库\\好.QTDE", "0"};
    const auto goodFile = member("好.QTDE", "good library");
    const auto plain = withManifest({goodFile}, manifest({good}));
    Fixture f;
    if (fault == "unreachable") f.unreachable = true;
    if (fault == "empty") f.raw = QByteArray();
    if (fault == "html") f.raw = QByteArray("<html><body>维护中</body></html>");
    if (fault == "cut") f = {plain, std::nullopt, "cut=100"};
    if (fault == "truncated") f = {plain, std::nullopt, {}, false, true};
    if (fault == "escape") f.members = withManifest({goodFile, member("../x", "evil")}, manifest({good}));
    if (fault == "password") {
        publish::ZipMember secret = member("密.QTDE", "secret");
        secret.password = "pw";
        f.members = withManifest({goodFile, secret}, manifest({good}));
    }
    if (fault == "badxml") f.members = withManifest({goodFile}, "<Update><File Source=");
    if (fault == "noupdate")
        f.members = withManifest({goodFile}, "<Files><File A=\"好.QTDE\" B=\"...\\x\" C=\"0\"/></Files>");
    if (fault == "blocked")
        f.members = withManifest({goodFile, member("坏.QTDE", "blocked")},
                                 manifest({{"坏.QTDE", "...\\造价资料\\定额库\\占用\\坏.QTDE", "0"}, good}));
    if (fault == "noreg")
        f.members =
            withManifest({goodFile, member("坏.QTDE", "never copied")},
                         manifest({{"坏.QTDE", "...\\造价资料\\定额库\\坏.QTDE", std::nullopt}, good}));
    if (fault == "nosource")
        f.members = withManifest({goodFile},
                                 manifest({{"缺少.QTDE", "...\\造价资料\\定额库\\缺少.QTDE", "0"}, good}));
    if (fault == "emptyupdate") f.members = withManifest({}, manifest({}));
    if (fault == "targets") {
        const std::string absolute = QString(root + "abs/目标/绝对.dat").toStdString();
        f.members = withManifest(
            {member("KXCalc.dll", "calc"), member("bin/KXMath.dll", "math"), member("绝对.dat", "abs")},
            manifest({{"KXCalc.dll", "<SYS>KXCalc.dll", "1"},
                      {"bin\\KXMath.dll", "<sys>子\\KXMath.dll", "1.0"},
                      {"绝对.dat", absolute, "0"}}));
    }
    if (fault == "gb18030") {
        QStringEncoder gb18030("GB18030");
        publish::ZipMember raw(QByteArray(gb18030.encode(QStringLiteral("国标.QTDE"))).toStdString(),
                               {'g', 'b'});
        raw.rawName = true;
        f.members = withManifest({raw}, manifest({{"国标.QTDE", "...\\造价资料\\定额库\\国标.QTDE", "0"}}));
    }
    return f;
}

}  // namespace

class QuotaUpdateTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_mirror = std::make_unique<kxtest::ServedMirror>();
        QVERIFY(m_mirror->ok());
        m_served = m_mirror->folder();
        m_server = &m_mirror->server();
        modUpdate::SetRegisterCommand("touch %1.registered");
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->path() + "/";
        m_app = m_root + "app/";
        QVERIFY(kxtest::copySampleApp(m_app, {"UpdateService"}));
        QVERIFY(!QFileInfo::exists(m_app + "Temp"));
        modUpdate::SetUpdateLimits({});
        modUpdate::SetSystemDirectory(m_root + "sys");
        modUpdate::SetUpdateBaseAddress(m_server->base());
        m_requestsBefore = m_server->requests().size();
    }

    void aLibraryNotInstalledIsFetchedWithoutAsking() {
        kxtest::ScriptedUi ui;
        queueDownloads(ui, 1);
        const auto before = kxtest::snapshot(m_root);
        QCOMPARE(update(sample::names::kMunicipalTitle), 0);
        QCOMPARE(ui.dialogs->shown(), QStringList{"frmPub_DownLoad"});
        QCOMPARE(newRequests(), (QStringList{"/更新数据/定额库/市政工程消耗量定额.rar",
                                             "/更新数据/定额库/市政工程消耗量定额.rar.sha256"}));
        const QString library = quotaLibrary(sample::names::kMunicipalTitle);
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_root)),
                 (QStringList{"app/造价资料/定额库/市政工程消耗量定额.QTDE",
                              "app/造价资料/定额库/换算库/市政工程消耗量定额_系统换算库.QTHS"}));
        QCOMPARE(kxtest::keyInfo(library, "Ver"), QStringLiteral("1.0"));
        QCOMPARE(kxtest::mdbCount(library, "DM"), kxtest::tableRows(library, "DM"));
        QVERIFY(
            QFileInfo(m_app + "Temp/升级/定额库/市政工程消耗量定额").isDir());  // the extraction folder stays
    }

    void aNewerEditionIsShownAndInstalledWhenTheUserGoesOn() {
        const QString library = quotaLibrary(sample::names::kBuildingTitle);
        const qint64 itemsBefore = kxtest::tableRows(library, "DM");
        kxtest::ScriptedUi ui;
        InfoSeen seen;
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        ui.dialogs->queue("frmNet_UpdateDEInfo", answerInfo(&seen, "cmdSure"));
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        QCOMPARE(update(sample::names::kBuildingTitle), 0);
        QCOMPARE(seen.title, QStringLiteral("当前定额库版本 [1.0] 最新版本 [1.1],更新内容如下："));
        QCOMPARE(seen.lines, (QStringList{"新增装配式混凝土构件安装子目", "更正第四章混凝土强度等级换算说明",
                                          "调整人工单价"}));
        QCOMPARE(seen.emphasised, (QList<bool>{true, false, false}));
        QCOMPARE(newRequests(), (QStringList{"/更新数据/定额库/建筑工程消耗量定额.xml",
                                             "/更新数据/定额库/建筑工程消耗量定额.rar",
                                             "/更新数据/定额库/建筑工程消耗量定额.rar.sha256"}));
        QCOMPARE(kxtest::keyInfo(library, "Ver"), QStringLiteral("1.1"));
        QCOMPARE(kxtest::tableRows(library, "DM"), itemsBefore + 10);
        QCOMPARE(kxtest::mdbCount(library, "DM"), itemsBefore + 10);
        QVERIFY(
            QFile::exists(m_app + "Temp/升级/定额库/建筑工程消耗量定额.xml"));  // the information file stays
        QVERIFY(!QFile::exists(m_app + "Temp/升级/定额库/建筑工程消耗量定额.rar"));
    }

    void declining_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("shownTitle");
        QTest::addColumn<int>("lines");
        QTest::newRow("cancel a newer edition") << QString(sample::names::kBuildingTitle) << "cmdCancel"
                                                << "当前定额库版本 [1.0] 最新版本 [1.1],更新内容如下：" << 3;
        QTest::newRow("close after a normal load")
            << QString(sample::names::kBuildingTitle) << "cmdClose"
            << "当前定额库版本 [1.0] 最新版本 [1.1],更新内容如下：" << 3;
        QTest::newRow("equal value, other text") << QString(sample::names::kInstallTitle) << "cmdCancel"
                                                 << "定额库数据为最新[1.0]版，不需要更新！" << 1;
        QTest::newRow("an older edition") << QString(sample::names::kRepairTitle) << "cmdClose"
                                          << "当前定额库版本 [2.0] 最新版本 [1.5],更新内容如下：" << 1;
    }
    void declining() {
        QFETCH(QString, title);
        QFETCH(QString, button);
        QFETCH(QString, shownTitle);
        QFETCH(int, lines);
        kxtest::ScriptedUi ui;
        InfoSeen seen;
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        ui.dialogs->queue("frmNet_UpdateDEInfo", answerInfo(&seen, button));
        const auto before = kxtest::snapshot(m_app + "造价资料");
        QCOMPARE(update(title), 4);
        QCOMPARE(seen.title, shownTitle);
        QCOMPARE(seen.lines.size(), lines);
        QCOMPARE(newRequests(), QStringList{"/更新数据/定额库/" + title + ".xml"});
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_app + "造价资料")), QStringList());
    }

    void equalVersionsStillInstallWhenTheUserGoesOn() {
        kxtest::ScriptedUi ui;
        InfoSeen seen;
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        ui.dialogs->queue("frmNet_UpdateDEInfo", answerInfo(&seen, "cmdSure"));
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        QCOMPARE(update(sample::names::kInstallTitle), 0);
        QCOMPARE(kxtest::keyInfo(quotaLibrary(sample::names::kInstallTitle), "Ver"), QStringLiteral("1.00"));
    }

    void withoutAnInformationFileThePackageComesWithoutAsking() {
        const QString stale = m_app + "Temp/升级/定额库/园林绿化工程消耗量定额.xml";
        kxtest::writeBytes(stale, "<Update><Info Ver=\"9\"/></Update>");  // from an earlier run
        kxtest::ScriptedUi ui;
        queueDownloads(ui, 2);
        QCOMPARE(update(sample::names::kLandscapeTitle), 0);
        QCOMPARE(ui.dialogs->shown(), (QStringList{"frmPub_DownLoad", "frmPub_DownLoad"}));
        QVERIFY(!QFile::exists(stale));
        QCOMPARE(kxtest::keyInfo(quotaLibrary(sample::names::kLandscapeTitle), "Ver"), QStringLiteral("1.1"));
    }

    void anUnreadableInformationFileLeavesTheDecisionToTheButtons_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("code");
        QTest::newRow("go on") << "cmdSure" << 0;
        QTest::newRow("decline") << "cmdCancel" << 4;
    }
    void anUnreadableInformationFileLeavesTheDecisionToTheButtons() {
        QFETCH(QString, button);
        QFETCH(int, code);
        kxtest::ScriptedUi ui;
        InfoSeen seen;
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        ui.dialogs->queue("frmNet_UpdateDEInfo", answerInfo(&seen, button));
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
        QCOMPARE(update(sample::names::kRestorationTitle), code);
        QCOMPARE(seen.title, QString());
        QCOMPARE(seen.lines, QStringList());
    }

    void faultsGiveTheirCodeAndTouchNothingElse_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("installed");  // files below the application folder that change
        QTest::addColumn<bool>("consent");           // the host allows absolute targets and registration
        QTest::newRow("unreachable server") << "unreachable" << 1 << QStringList{} << false;
        QTest::newRow("no package (404)") << "missing" << 1 << QStringList{} << false;
        QTest::newRow("connection cut mid-transfer") << "cut" << 1 << QStringList{} << false;
        QTest::newRow("empty package") << "empty" << 1 << QStringList{} << false;
        QTest::newRow("package that is no ZIP") << "html" << 2 << QStringList{} << false;
        QTest::newRow("truncated package") << "truncated" << 2 << QStringList{} << false;
        QTest::newRow("member ../x") << "escape" << 2 << QStringList{} << false;
        QTest::newRow("password-protected member") << "password" << 2 << QStringList{} << false;
        QTest::newRow("manifest that is no XML") << "badxml" << 3 << QStringList{} << false;
        QTest::newRow("manifest without Update") << "noupdate" << 3 << QStringList{} << false;
        QTest::newRow("target that cannot be written: nothing is installed")
            << "blocked" << 3 << QStringList{} << false;
        QTest::newRow("entry without its third attribute")
            << "noreg" << 0 << QStringList{"app/造价资料/定额库/好.QTDE"} << false;
        QTest::newRow("source missing from the package")
            << "nosource" << 0 << QStringList{"app/造价资料/定额库/好.QTDE"} << false;
        QTest::newRow("empty Update") << "emptyupdate" << 0 << QStringList{} << false;
        QTest::newRow("system, absolute and registered targets, as the host allows")
            << "targets" << 0
            << QStringList{"abs/目标/绝对.dat", "sys/KXCalc.dll", "sys/KXCalc.dll.registered",
                           "sys/子/KXMath.dll", "sys/子/KXMath.dll.registered"}
            << true;
        QTest::newRow("an absolute target the host does not allow: nothing is installed")
            << "targets" << 3 << QStringList{} << false;
        QTest::newRow("GB18030 names without the UTF-8 flag")
            << "gb18030" << 0 << QStringList{"app/造价资料/定额库/国标.QTDE"} << false;
    }
    void faultsGiveTheirCodeAndTouchNothingElse() {
        QFETCH(QString, fault);
        QFETCH(int, code);
        QFETCH(QStringList, installed);
        QFETCH(bool, consent);
        kx::UpdateLimits limits;
        limits.allowAbsoluteTargets = limits.allowRegistration = consent;
        modUpdate::SetUpdateLimits(limits);
        writeFixture(fault);
        kxtest::writeBytes(m_app + "造价资料/定额库/占用", "a file where a folder is wanted");
        kxtest::ScriptedUi ui;
        queueDownloads(ui, 1);
        const auto before = kxtest::snapshot(m_root);
        QCOMPARE(update(kFixture), code);
        if (installed.filter(".registered").size() > 0)
            QTRY_VERIFY(QFile::exists(m_root + installed.filter(".registered").first()));
        QStringList changed = kxtest::changedPaths(before, kxtest::snapshot(m_root));
        const QStringList temp = changed.filter(QRegularExpression("^app/Temp/"));
        for (const QString& path : temp) changed.removeAll(path);
        QCOMPARE(changed, installed);
        QVERIFY2(!QFile::exists(m_app + "Temp/升级/定额库/" + kFixture + ".rar"), "the package is deleted");
        QVERIFY(QDir(m_app + "Temp/升级/定额库").entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void theServerStoppingMidDownloadGivesCodeOneAndNoPartialFile() {
        QByteArray big(4 * 1024 * 1024, 'x');
        kxtest::writeBytes(m_served + "/" + kQuotaRemote + kFixture + ".rar", big);
        kxtest::TestServer doomed(m_served);
        modUpdate::SetUpdateBaseAddress(doomed.base("stall=1000000"));
        kxtest::ScriptedUi ui;
        ui.dialogs->queue("frmPub_DownLoad", [&doomed](QDialog& d) {
            QTRY_VERIFY(d.findChild<QLabel*>("lbl")->text().contains("% of 4M"));
            doomed.kill();
        });
        QCOMPARE(update(kFixture), 1);
        QVERIFY(QDir(m_app + "Temp/升级/定额库").entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void cancellingTheDownloadGivesCodeOne() {
        kxtest::writeBytes(m_served + "/" + kQuotaRemote + kFixture + ".rar",
                           QByteArray(2 * 1024 * 1024, 'x'));
        modUpdate::SetUpdateBaseAddress(m_server->base("slow=10000"));
        kxtest::ScriptedUi ui;
        ui.dialogs->queue("frmPub_DownLoad", [](QDialog& d) {
            QTRY_VERIFY(d.findChild<QLabel*>("lbl")->text().contains("% of"));
            d.findChild<QPushButton*>("cmdCancel")->click();
        });
        QCOMPARE(update(kFixture), 1);
        QVERIFY(QDir(m_app + "Temp/升级/定额库").entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void aLocalFolderServesAsTheUpdateService() {
        QString base = m_served + "/";
        base.replace('/', '\\');
        modUpdate::SetUpdateBaseAddress(base);
        kxtest::ScriptedUi ui;
        queueDownloads(ui, 1);
        QCOMPARE(update(sample::names::kMunicipalTitle), 0);
        QCOMPARE(kxtest::keyInfo(quotaLibrary(sample::names::kMunicipalTitle), "Ver"), QStringLiteral("1.0"));
    }

private:
    /// Runs the update the way the quota-library picker does.
    int update(const QString& title) {
        QString app = m_app;
        app.replace('/', '\\');
        return modUpdate::UpdateDELibrary(title, app, app + "造价资料\\");
    }

    QString quotaLibrary(const QString& title) const { return m_app + "造价资料/定额库/" + title + ".QTDE"; }

    static void queueDownloads(kxtest::ScriptedUi& ui, int count) {
        for (int i = 0; i < count; ++i) ui.dialogs->queue("frmPub_DownLoad", [](QDialog&) {});
    }

    QStringList newRequests() { return m_server->requests().mid(m_requestsBefore); }

    /// Puts the package of the fixture library, broken in the way `fault` names, on the service.
    void writeFixture(const QString& fault) {
        const QString package = m_served + "/" + kQuotaRemote + kFixture + ".rar";
        QFile::remove(package);
        const Fixture f = fixtureFor(fault, m_root);
        if (f.unreachable)
            modUpdate::SetUpdateBaseAddress(QStringLiteral("http://127.0.0.1:%1/").arg(kxtest::closedPort()));
        if (!f.behaviour.isEmpty()) modUpdate::SetUpdateBaseAddress(m_server->base(f.behaviour));
        if (f.raw) return kxtest::writeBytes(package, *f.raw);
        if (f.members.empty()) return;
        const jet::Status status = publish::writeZip(QFile::encodeName(package).toStdString(), f.members);
        QVERIFY2(status.ok(), status.toString().c_str());
        if (f.truncate) {
            const QByteArray zip = kxtest::readBytes(package);
            kxtest::writeBytes(package, zip.left(zip.size() - 30));
        }
    }

    std::unique_ptr<kxtest::ServedMirror> m_mirror;
    QString m_served;
    kxtest::TestServer* m_server = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
    QString m_app;
    int m_requestsBefore = 0;
};

QTEST_MAIN(QuotaUpdateTest)
#include "quota_update_test.moc"
