// The update service as a hostile server would play it (an update address over plain http is that to
// anyone on the network): each case runs the update procedure a user would run, without widgets, and
// checks its result, what it refused, and every file below the test folder before and after (the
// application folder, its system folder and the folders around it).
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "core/data/modpub_db.h"
#include "kxview/updates.h"
#include "publish/packages.h"
#include "sample/names.h"
#include "update_support.h"

namespace {

using Reason = kx::UpdateRefusal::Reason;
const QString kFixture = QStringLiteral("测试定额");  // not installed: straight to its package
const QString kSet = QString::fromUtf8(sample::names::kMaterialKey);

QByteArray manifest(const QList<QPair<QString, QString>>& entries, const QString& flag = "0") {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Update>\r\n";
    for (const auto& [source, target] : entries)
        xml += "  <File Source=\"" + source.toHtmlEscaped().toUtf8() + "\" Target=\"" +
               target.toHtmlEscaped().toUtf8() + "\" Reg=\"" + flag.toUtf8() + "\"/>\r\n";
    return xml + "</Update>\r\n";
}

/// An information file offering version 9.0 with `lines` change lines.
QByteArray informationFile(int lines) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Update>\r\n  <Info Ver=\"9.0\">\r\n";
    for (int i = 0; i < lines; ++i)
        xml += "    <Line Text=\"第" + QByteArray::number(i) + "条更新\" Mark=\"0\"/>\r\n";
    return xml + "  </Info>\r\n</Update>\r\n";
}

}  // namespace

class HostileUpdateTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->path() + "/";
        m_app = m_root + "app/";
        QVERIFY(kxtest::copySampleApp(m_app, {"UpdateService"}));
        m_mirror = std::make_unique<kxtest::ServedMirror>();
        QVERIFY(m_mirror->ok());
        modUpdate::SetUpdateBaseAddress(m_mirror->server().base());
        kxtest::resetUpdateSettings(m_root + "sys");
    }

    void eachCaseEndsWithItsResultAndTouchesNothingElse_data() {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<int>("result");           // the procedure's result, or the command's exit code
        QTest::addColumn<int>("refusal");          // the refusal told (or in the offer), or -1
        QTest::addColumn<QString>("status");       // a text the status lines or the command's output hold
        QTest::addColumn<QStringList>("changed");  // paths below the test folder that change, Temp\ aside
        auto row = [](const char* name, const char* scenario, int result, int refusal, const char* status,
                      const QStringList& changed) {
            QTest::newRow(name) << QString(scenario) << result << refusal << QString::fromUtf8(status)
                                << changed;
        };
        const int none = -1;
        row("a 3 MB package expanding to 3 GiB", "bomb", modUpdate::kExtractionFailed,
            int(Reason::PackageTooLarge), "", {});
        row("a body without end and without Content-Length", "endless", modUpdate::kDownloadFailed, none,
            "超过下载上限", {});
        row("one byte every 20 s", "trickle", modUpdate::kDownloadFailed, none, "传输过慢", {});
        row("targets ...\\..\\x, absolute, <SYS>..\\..\\x and through a link", "escape",
            modUpdate::kInstallFailed, int(Reason::TargetOutsideFolder), "", {});
        row("Reg=\"1\" on a target with a blank", "blank", modUpdate::kUpdateFinished, none, "",
            {"app/带 空格/插件.dll", "app/带 空格/插件.dll.registered"});
        row("a target that cannot be written in the middle", "blocked", modUpdate::kInstallFailed,
            int(Reason::InstallFailed), "", {});
        row("a price catalogue naming ../../x.QTJG", "catalogue", 1, none, "",
            {"app/造价资料/材料价格文件/CJ2018/MatePriceIndex.mdb",
             "app/造价资料/材料价格文件/CJ2018/北京2024年3月信息价.QTJG"});
        row("a 200k-line information file", "longinfo", modUpdate::kDeclined,
            int(Reason::InformationTooLarge), "", {});
        row("kxview-update prices when the catalogue never arrives", "cli", 1, none,
            "the price catalogue did not arrive", {});
    }
    void eachCaseEndsWithItsResultAndTouchesNothingElse() {
        QFETCH(QString, scenario);
        QFETCH(int, result);
        QFETCH(int, refusal);
        QFETCH(QString, status);
        QFETCH(QStringList, changed);
        kxtest::writeBytes(m_root + "outside/mine.txt", "mine");
        kxtest::writeBytes(m_app + "造价资料/定额库/旧.QTDE", "old");
        prepare(scenario);
        const auto before = kxtest::snapshot(m_root);
        kxtest::RecordingPrompts prompts;
        QString output;
        const int got = run(scenario, prompts, output);
        for (const QString& path : changed.filter(".registered")) QTRY_VERIFY(QFile::exists(m_root + path));
        QStringList after = kxtest::changedPaths(before, kxtest::snapshot(m_root));
        after.removeIf([](const QString& path) { return path.startsWith("app/Temp/"); });

        QCOMPARE(got, result);
        QCOMPARE(after, changed);
        QList<int> told;
        for (const kx::UpdateRefusal& r : std::as_const(prompts.refusals)) told << int(r.reason);
        if (prompts.quotaOffer && prompts.quotaOffer->refusal)
            told << int(prompts.quotaOffer->refusal->reason);
        QCOMPARE(told, refusal < 0 ? QList<int>{} : QList<int>{refusal});
        output += prompts.statusLines.join('\n');
        QVERIFY2(output.contains(status), qPrintable(output));
        // Neither a refused transfer nor a refused package leaves its bulk in the work folders, and no
        // journal is left.
        qint64 workBytes = 0;
        for (QDirIterator it(m_app + "Temp", QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();)
            workBytes += it.nextFileInfo().size();
        QVERIFY2(workBytes < (16 << 20), qPrintable(QString::number(workBytes)));
        QVERIFY(!QFile::exists(m_app + "Temp/升级/install.journal"));
        const QString catalogue = m_app + "造价资料/材料价格文件/CJ2018/MatePriceIndex.mdb";
        QVERIFY(!exportIndex(catalogue).contains("x.QTJG"));
    }

    // The catalogue-name rule the pickers use decides which entries of an offered catalogue are installed.
    void catalogueNamesTheRuleRefusesAreDropped_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("linkOut");  // the set's folder holds a link of that name leading outside
        QTest::addColumn<bool>("kept");
        QTest::newRow("a plain name") << "新价格.QTJG" << false << true;
        QTest::newRow("a parent path") << "../../x.QTJG" << false << false;
        QTest::newRow("a folder part") << "子\\x.QTJG" << false << false;
        QTest::newRow("a drive") << "C:x.QTJG" << false << false;
        QTest::newRow("a device") << "NUL.QTJG" << false << false;
        QTest::newRow("a link out of the set's folder") << "链接.QTJG" << true << false;
    }
    void catalogueNamesTheRuleRefusesAreDropped() {
        QFETCH(QString, name);
        QFETCH(bool, linkOut);
        QFETCH(bool, kept);
        const QString setFolder = m_app + "造价资料/材料价格文件/" + kSet + "/";
        kxtest::writeBytes(m_root + "outside/mine.txt", "mine");
        if (linkOut) QVERIFY(QFile::link(m_root + "outside/mine.txt", setFolder + name));
        offerCatalogueNaming(name);
        kxtest::RecordingPrompts prompts;
        prompts.toChoose = {"北京2024年3月信息价.QTJG"};
        const QString app = windows(m_app);
        QCOMPARE(modUpdate::UpdatePriceFiles(prompts, kSet, app, app + "造价资料\\"), 1);
        QCOMPARE(exportIndex(setFolder + "MatePriceIndex.mdb").contains(name), kept);
        QCOMPARE(kxtest::readBytes(m_root + "outside/mine.txt"), QByteArray("mine"));
    }

private:
    QString served(const QString& relative) const { return m_mirror->folder() + "/" + relative; }
    QString fixturePackage() const { return served("更新数据/定额库/" + kFixture + ".rar"); }

    /// Puts what `scenario` needs on the service and sets the host's limits it needs.
    void prepare(const QString& scenario) {
        kx::UpdateLimits limits;
        const QString installed = "...\\造价资料\\定额库\\";
        const QList<QPair<QString, QString>> good{{"好.QTDE", installed + "好.QTDE"}};
        if (scenario == "bomb") {
            kxtest::writeRawZip(fixturePackage(), {kxtest::RawMember::stored("Update.xml", manifest(good)),
                                                   kxtest::RawMember::zeros("好.QTDE", quint64{3} << 30)});
        } else if (scenario == "endless" || scenario == "trickle") {
            writePackage(manifest(good), {{"好.QTDE", "good"}});
            modUpdate::SetUpdateBaseAddress(
                m_mirror->server().base(scenario == "endless" ? "endless" : "trickle=20000"));
            limits.maxDownloadBytes = 8 << 20;
            limits.rateWindowSeconds = 1;
            limits.minBytesPerWindow = 64;
        } else if (scenario == "escape") {
            QVERIFY(QFile::link(m_root + "outside", m_app + "链接"));
            writePackage(manifest({good[0],
                                   {"1.txt", "...\\..\\逃逸1.txt"},
                                   {"2.txt", "...\\造价资料\\..\\..\\逃逸2.txt"},
                                   {"3.txt", m_root + "outside/逃逸3.txt"},
                                   {"4.txt", "<SYS>..\\..\\逃逸4.txt"},
                                   {"5.txt", "...\\链接\\逃逸5.txt"}}),
                         {{"好.QTDE", "good"},
                          {"1.txt", "1"},
                          {"2.txt", "2"},
                          {"3.txt", "3"},
                          {"4.txt", "4"},
                          {"5.txt", "5"}});
        } else if (scenario == "blank") {
            limits.allowRegistration = true;
            modUpdate::SetRegisterCommand("touch %1.registered");
            writePackage(manifest({{"插件.dll", "...\\带 空格\\插件.dll"}}, "1"), {{"插件.dll", "plug-in"}});
        } else if (scenario == "blocked") {
            kxtest::writeBytes(m_app + "造价资料/定额库/占用", "a file where a folder is wanted");
            writePackage(manifest({{"旧.QTDE", installed + "旧.QTDE"},
                                   {"坏.QTDE", installed + "占用\\坏.QTDE"},
                                   {"新.QTDE", installed + "新.QTDE"}}),
                         {{"旧.QTDE", "new"}, {"坏.QTDE", "blocked"}, {"新.QTDE", "new"}});
        } else if (scenario == "catalogue") {
            offerCatalogueNaming("../../x.QTJG");
        } else if (scenario == "longinfo") {
            kxtest::writeBytes(served("更新数据/定额库/") + sample::names::kBuildingTitle + ".xml",
                               informationFile(200000));
        }
        modUpdate::SetUpdateLimits(limits);
    }

    /// Runs the procedure of `scenario`: its result, and for the command what it printed.
    int run(const QString& scenario, kxtest::RecordingPrompts& prompts, QString& output) {
        const QString app = windows(m_app);
        if (scenario == "catalogue") {
            prompts.toChoose = {"北京2024年3月信息价.QTJG"};
            return modUpdate::UpdatePriceFiles(prompts, kSet, app, app + "造价资料\\");
        }
        if (scenario == "longinfo")
            return modUpdate::UpdateDELibrary(prompts, sample::names::kBuildingTitle, app,
                                              app + "造价资料\\");
        if (scenario == "cli") {
            QProcess tool;
            tool.start(KXVIEW_UPDATE_TOOL,
                       {"prices", kSet, "--app-dir", m_app, "--data-dir", m_app + "造价资料", "--base",
                        m_mirror->server().base() + "没有/", "--all"});
            tool.waitForFinished(60000);
            output = QString::fromUtf8(tool.readAllStandardError());
            return tool.exitCode();
        }
        return modUpdate::UpdateDELibrary(prompts, kFixture, app, app + "造价资料\\");
    }

    /// The fixture's package holding `files` and Update.xml, with its checksum.
    void writePackage(const QByteArray& manifestText, const QList<QPair<QString, QByteArray>>& files) {
        std::vector<publish::ZipMember> members{
            publish::ZipMember("Update.xml", publish::toBytes(manifestText.toStdString()))};
        for (const auto& [name, content] : files)
            members.emplace_back(name.toStdString(), std::vector<uint8_t>(content.begin(), content.end()));
        QVERIFY(publish::writeZip(QFile::encodeName(fixturePackage()).toStdString(), members).ok());
        kxtest::writeChecksum(fixturePackage());
    }

    /// Republishes the price set's catalogue with one more file entry, named `name`.
    void offerCatalogueNaming(const QString& name) {
        const QString package = served("更新数据/材料价格/" + kSet + "/MatePriceIndex.rar");
        const QString catalogue = m_root + "offered/MatePriceIndex.mdb";
        kxtest::writeBytes(catalogue, kxtest::packedMember(package, "MatePriceIndex.mdb"));
        {
            auto db = modPub_DB::OpenDB(catalogue);
            auto rows = db->OpenRecordset("Index");
            rows->AddNew();
            rows->SetValue("ParentID", 1);
            rows->SetValue("Name", "逃逸");
            rows->SetValue("OCode", 99);
            rows->SetValue("WithFileName", name);
            rows->SetValue("CreatDate", "2024-04-01");
            rows->SetValue("ModifyDate", "2024-04-02");
            rows->Update();
            rows->Close();
            db->Close();
        }
        QVERIFY(publish::writeZip(
                    QFile::encodeName(package).toStdString(),
                    {publish::ZipMember("MatePriceIndex.mdb", QFile::encodeName(catalogue).toStdString())})
                    .ok());
        kxtest::writeChecksum(package);
    }

    /// The catalogue's Index table as mdb-export prints it ("" when there is none).
    static QString exportIndex(const QString& catalogue) {
        if (!QFile::exists(catalogue)) return {};
        QProcess mdb;
        mdb.start("mdb-export", {catalogue, "Index"});
        mdb.waitForFinished(20000);
        return QString::fromUtf8(mdb.readAllStandardOutput());
    }

    static QString windows(QString path) { return path.replace('/', '\\'); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<kxtest::ServedMirror> m_mirror;
    QString m_root;
    QString m_app;
};

QTEST_GUILESS_MAIN(HostileUpdateTest)
#include "hostile_update_test.moc"
