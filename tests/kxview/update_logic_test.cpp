// The update procedures without any widget: offers read from the sample directory's real information
// files and price catalogues, the answers of a scripted UpdatePrompts applied, and the results and the files
// on disk checked. This test links the component's core only.
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include "core/services/messages.h"
#include "kxview/updates.h"
#include "publish/packages.h"
#include "sample/names.h"
#include "update_support.h"

namespace {

using State = kx::PriceFileEntry::State;

QString windows(QString path) {
    return path.replace('/', '\\');
}

QString slashed(QString path) {
    return path.replace('\\', '/');
}

using kxtest::RecordingPrompts;

QByteArray manifestOf(const std::vector<publish::ManifestEntry>& entries) {
    return QByteArray::fromStdString(publish::updateManifest(entries));
}

publish::ZipMember member(const QString& name, const QByteArray& content) {
    return publish::ZipMember(name.toStdString(), std::vector<uint8_t>(content.begin(), content.end()));
}

/// One row of an offered price catalogue as the test expects it: "name|file" and its state.
struct ExpectedEntry {
    const char* text;
    State state;
};

}  // namespace

class UpdateLogicTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_mirror = std::make_unique<kxtest::ServedMirror>();
        QVERIFY(m_mirror->ok());
        m_served = m_mirror->folder();
        m_server = &m_mirror->server();
    }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_app = m_dir->path() + "/app/";
        QVERIFY(kxtest::copySampleApp(m_app, {"UpdateService"}));
        m_installedPrices = m_app + "造价资料/材料价格文件/" + sample::names::kMaterialKey + "/";
        modUpdate::SetUpdateBaseAddress(m_server->base());
        modUpdate::SetSystemDirectory(m_dir->path() + "/sys");
    }

    void anInstalledLibrarysOfferIsReadFromItsInformationFile_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QString>("offered");
        QTest::addColumn<bool>("current");
        QTest::addColumn<QString>("headline");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QList<int>>("markers");
        QTest::newRow("a newer edition")
            << QString(sample::names::kBuildingTitle) << true << "1.0"
            << "1.1" << false << "当前定额库版本 [1.0] 最新版本 [1.1],更新内容如下："
            << QStringList{"新增装配式混凝土构件安装子目", "更正第四章混凝土强度等级换算说明", "调整人工单价"}
            << QList<int>{1, 0, 0};
        QTest::newRow("the same value written otherwise")
            << QString(sample::names::kInstallTitle) << true << "1.0"
            << "1.00" << true << "定额库数据为最新[1.0]版，不需要更新！" << QStringList{"当前版本为最新版本"}
            << QList<int>{0};
        QTest::newRow("an older edition")
            << QString(sample::names::kRepairTitle) << true << "2.0"
            << "1.5" << false << "当前定额库版本 [2.0] 最新版本 [1.5],更新内容如下："
            << QStringList{"恢复2016年版拆除工程子目"} << QList<int>{0};
        QTest::newRow("a damaged information file")
            << QString(sample::names::kRestorationTitle) << false << "1.0"
            << "" << false << "" << QStringList{} << QList<int>{};
    }
    void anInstalledLibrarysOfferIsReadFromItsInformationFile() {
        QFETCH(QString, title);
        QFETCH(bool, readable);
        QFETCH(QString, installed);
        QFETCH(QString, offered);
        QFETCH(bool, current);
        QFETCH(QString, headline);
        QFETCH(QStringList, changes);
        QFETCH(QList<int>, markers);
        RecordingPrompts prompts;  // declines
        const auto before = kxtest::snapshot(m_app + "造价资料");
        QCOMPARE(updateLibrary(prompts, title), int(modUpdate::kDeclined));
        QVERIFY(prompts.quotaOffer.has_value());
        const kx::QuotaLibraryOffer& offer = *prompts.quotaOffer;
        QCOMPARE(slashed(offer.libraryFile), quotaLibrary(title));
        QCOMPARE(offer.readable, readable);
        QCOMPARE(offer.installedVersion, installed);
        QCOMPARE(offer.offeredVersion, offered);
        QCOMPARE(offer.isCurrent(), current);
        QCOMPARE(offer.headline(), headline);
        QStringList texts;
        QList<int> shownMarkers;
        for (const kx::QuotaLibraryOffer::Change& change : offer.changes) {
            texts << change.text;
            shownMarkers << change.marker;
        }
        QCOMPARE(texts, changes);
        QCOMPARE(shownMarkers, markers);
        QCOMPARE(prompts.titles, QStringList{QString()});  // only the information file was fetched
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_app + "造价资料")), QStringList());
    }

    void goingOnInstallsTheOfferedEdition() {
        const QString library = quotaLibrary(sample::names::kBuildingTitle);
        const qint64 itemsBefore = kxtest::tableRows(library, "DM");
        RecordingPrompts prompts;
        prompts.goOn = true;
        QCOMPARE(updateLibrary(prompts, sample::names::kBuildingTitle), int(modUpdate::kUpdateFinished));
        QCOMPARE(prompts.titles, (QStringList{QString(), "下载更新定额库"}));
        QCOMPARE(kxtest::keyInfo(library, "Ver"), QStringLiteral("1.1"));
        QCOMPARE(kxtest::tableRows(library, "DM"), itemsBefore + 10);
        QCOMPARE(kxtest::mdbCount(library, "DM"), itemsBefore + 10);
        QVERIFY(prompts.replaceQuestions.isEmpty());
    }

    void packagesComeWithoutAnOffer_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("a library not installed")
            << QString(sample::names::kMunicipalTitle) << QStringList{"下载更新定额库"};
        QTest::newRow("no information file on the service")
            << QString(sample::names::kLandscapeTitle) << QStringList{QString(), "下载更新定额库"};
    }
    void packagesComeWithoutAnOffer() {
        QFETCH(QString, title);
        QFETCH(QStringList, titles);
        RecordingPrompts prompts;  // would decline, but is never asked
        QCOMPARE(updateLibrary(prompts, title), int(modUpdate::kUpdateFinished));
        QVERIFY(!prompts.quotaOffer.has_value());
        QCOMPARE(prompts.titles, titles);
        QCOMPARE(kxtest::mdbCount(quotaLibrary(title), "DM"), kxtest::tableRows(quotaLibrary(title), "DM"));
        QVERIFY(prompts.statusLines.last().endsWith("完成"));
    }

    void existingFilesOfThePackageAreReplacedAsTheUserAnswers_data() {
        QTest::addColumn<QList<kx::ReplaceAnswer>>("answers");
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QByteArray>("installedA");
        QTest::addColumn<QByteArray>("installedB");
        using A = kx::ReplaceAnswer;
        QTest::newRow("replace both") << QList<A>{A::Replace, A::Replace} << QStringList{"a.QTDE", "b.QTDE"}
                                      << QByteArray("new a") << QByteArray("new b");
        QTest::newRow("keep the first") << QList<A>{A::Keep, A::Replace} << QStringList{"a.QTDE", "b.QTDE"}
                                        << QByteArray("old a") << QByteArray("new b");
        QTest::newRow("keep all from the first")
            << QList<A>{A::KeepAll} << QStringList{"a.QTDE"} << QByteArray("old a") << QByteArray("old b");
    }
    void existingFilesOfThePackageAreReplacedAsTheUserAnswers() {
        QFETCH(QList<kx::ReplaceAnswer>, answers);
        QFETCH(QStringList, asked);
        QFETCH(QByteArray, installedA);
        QFETCH(QByteArray, installedB);
        // A package on a local folder serving as the update service, and what an earlier, interrupted run
        // left in the extraction folder.
        const QString service = m_dir->path() + "/service/";
        const std::vector<publish::ManifestEntry> entries{{"a.QTDE", "...\\造价资料\\定额库\\a.QTDE", "0"},
                                                          {"b.QTDE", "...\\造价资料\\定额库\\b.QTDE", "0"}};
        const QString package = service + "更新数据/定额库/残留定额.rar";
        QDir().mkpath(QFileInfo(package).absolutePath());
        QVERIFY(publish::writeZip(QFile::encodeName(package).toStdString(),
                                  {member("a.QTDE", "new a"), member("b.QTDE", "new b"),
                                   member("Update.xml", manifestOf(entries))})
                    .ok());
        const QString leftover = m_app + "Temp/升级/定额库/残留定额/";
        kxtest::writeBytes(leftover + "a.QTDE", "old a");
        kxtest::writeBytes(leftover + "b.QTDE", "old b");
        modUpdate::SetUpdateBaseAddress(windows(service));
        RecordingPrompts prompts;
        prompts.replaceAnswers = answers;

        QCOMPARE(updateLibrary(prompts, "残留定额"), int(modUpdate::kUpdateFinished));

        QStringList askedNames;
        for (const QString& path : prompts.replaceQuestions) {
            QVERIFY2(path.startsWith(m_app + "Temp/升级/定额库/残留定额/"), qPrintable(path));
            askedNames << QFileInfo(path).fileName();
        }
        QCOMPARE(askedNames, asked);
        QCOMPARE(kxtest::readBytes(m_app + "造价资料/定额库/a.QTDE"), installedA);
        QCOMPARE(kxtest::readBytes(m_app + "造价资料/定额库/b.QTDE"), installedB);
    }

    void thePriceSetsOfferComparesEachFileWithTheInstalledSet() {
        RecordingPrompts prompts;  // chooses nothing
        const auto before = kxtest::snapshot(m_app + "造价资料");
        QCOMPARE(updatePrices(prompts), 0);
        QVERIFY(prompts.priceOffer.has_value());
        const ExpectedEntry expected[] = {
            {"北京市|", State::Folder},
            {"2024年信息价|", State::Folder},
            {"北京市2024年1月建设工程材料信息价|北京2024年1月信息价.QTJG", State::Same},  // equal dates
            {"北京市2024年2月建设工程材料信息价（修订）|北京2024年2月信息价.QTJG", State::Changed},
            {"北京市2024年3月建设工程材料信息价|北京2024年3月信息价.QTJG", State::New},
            {"上海市|", State::Folder},
            {"上海市2024年1月建设工程材料信息价|上海2024年1月信息价.QTJG", State::Same},  // date recorded
            {"天津市|", State::Folder},
            {"天津市2024年1月建设工程材料信息价（修订）|天津2024年1月信息价.QTJG", State::Same},  // no row
        };
        const QList<kx::PriceFileEntry>& entries = prompts.priceOffer->entries;
        QCOMPARE(entries.size(), qsizetype(std::size(expected)));
        for (qsizetype i = 0; i < entries.size(); ++i) {
            QCOMPARE(entries[i].name + '|' + entries[i].fileName, QString::fromUtf8(expected[i].text));
            QCOMPARE(entries[i].state, expected[i].state);
        }
        QCOMPARE(prompts.priceOffer->mateKey, QString(sample::names::kMaterialKey));
        QCOMPARE(prompts.titles, QStringList{"下载价格目录"});
        QCOMPARE(prompts.messages, QStringList{"完成[ 0 ]个价格文件的更新"});
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_app + "造价资料")), QStringList());
        QCOMPARE(kxtest::snapshot(m_app + "Temp").keys(), QStringList());  // no catalogue, no package left
    }

    void chosenPriceFilesAreInstalledWithTheOfferedCatalogue() {
        const QString remote = m_served + "/更新数据/材料价格/" + sample::names::kMaterialKey + "/";
        const QByteArray untouched = kxtest::readBytes(m_installedPrices + "北京2024年1月信息价.QTJG");
        RecordingPrompts prompts;
        prompts.toChoose = QStringList{"北京2024年2月信息价.QTJG", "北京2024年3月信息价.QTJG"};
        QCOMPARE(updatePrices(prompts), 2);
        QCOMPARE(prompts.titles, (QStringList{"下载价格目录", "下载 北京2024年2月信息价.QTJG",
                                              "下载 北京2024年3月信息价.QTJG"}));
        QCOMPARE(prompts.messages, QStringList{"完成[ 2 ]个价格文件的更新"});
        QCOMPARE(kxtest::readBytes(m_installedPrices + "MatePriceIndex.mdb"),
                 kxtest::packedMember(remote + "MatePriceIndex.rar", "MatePriceIndex.mdb"));
        for (const QString& file : prompts.toChoose) {
            const QString title = QFileInfo(file).completeBaseName();
            QCOMPARE(kxtest::readBytes(m_installedPrices + file),
                     kxtest::packedMember(remote + title + ".rar", file));
        }
        QCOMPARE(kxtest::readBytes(m_installedPrices + "北京2024年1月信息价.QTJG"), untouched);
        QCOMPARE(kxtest::keyInfo(m_installedPrices + "北京2024年3月信息价.QTJG", "ShortName"),
                 QStringLiteral("京24.03"));
        QCOMPARE(kxtest::snapshot(m_app + "Temp").keys(), QStringList());
    }

    void anUnreachableServiceChangesNothing() {
        modUpdate::SetUpdateBaseAddress(QStringLiteral("http://127.0.0.1:%1/").arg(kxtest::closedPort()));
        const auto before = kxtest::snapshot(m_app + "造价资料");
        RecordingPrompts prompts;
        QCOMPARE(updateLibrary(prompts, sample::names::kMunicipalTitle), int(modUpdate::kDownloadFailed));
        QCOMPARE(updatePrices(prompts), 0);
        QVERIFY(!prompts.priceOffer.has_value());
        QVERIFY(prompts.messages.isEmpty());
        QCOMPARE(prompts.statusLines.filter("错误 - 不明错误: ").size(), 2);
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_app + "造价资料")), QStringList());
    }

    void statusLinesFollowTheTransfer_data() {
        QTest::addColumn<QString>("remote");
        QTest::addColumn<bool>("arrived");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QString>("last");
        const QString package = QStringLiteral("更新数据/定额库/%1.rar").arg(sample::names::kMunicipalTitle);
        QTest::newRow("a package") << package << true
                                   << QStringList{"标题", "开始下载...", "连接到 127.0.0.1"} << "完成";
        QTest::newRow("a file the service does not have")
            << "更新数据/没有.rar" << false
            << QStringList{"标题", "开始下载...", "连接到 127.0.0.1",
                           "错误 - 不可下载文件: 服务器返回 HTTP 404 Not Found"}
            << "下载失败";
    }
    void statusLinesFollowTheTransfer() {
        QFETCH(QString, remote);
        QFETCH(bool, arrived);
        QFETCH(QStringList, first);
        QFETCH(QString, last);
        QStringList lines;
        QStringList progress;
        const kx::FetchRequest request{m_server->base() + remote, m_dir->path() + "/新目录/", "标题"};
        QCOMPARE(kx::fetchWithoutWindow(
                     request,
                     [&](const QString& text, bool isProgress) { (isProgress ? progress : lines) << text; }),
                 arrived);
        QCOMPARE(lines.mid(0, first.size()), first);
        QVERIFY2(lines.last().endsWith(last), qPrintable(lines.last()));
        QCOMPARE(QFileInfo::exists(m_dir->path() + "/新目录/" + QFileInfo(remote).fileName()), arrived);
        if (arrived) {
            QVERIFY(!progress.isEmpty());
            QVERIFY2(progress.last().startsWith("100% of "), qPrintable(progress.last()));
        }
    }

    void withoutAScreenMessageBoxesAreLoggedAndAnsweredNo() {
        // Nothing of the widget layer runs in this program: the core's own message service answers.
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("message box 提示 : 覆盖吗？"));
        QVERIFY(!kx::askYesNo(QStringLiteral("覆盖吗？")));
        auto scripted = std::make_unique<kx::ScriptedMessageService>();
        scripted->queueAnswer(kx::MessageAnswer::Yes);
        kx::ScriptedMessageService* chosen = scripted.get();
        QVERIFY(kx::setMessageService(std::move(scripted)) == nullptr);
        QVERIFY(kx::askYesNo(QStringLiteral("覆盖吗？")));
        QCOMPARE(chosen->shown().size(), 1);
        kx::setMessageService(nullptr);  // back to the logged default
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("message box 提示 : 覆盖吗？"));
        QVERIFY(!kx::askYesNo(QStringLiteral("覆盖吗？")));
    }

private:
    /// Runs the quota-library update as the quota-library picker does.
    int updateLibrary(RecordingPrompts& prompts, const QString& title) {
        return modUpdate::UpdateDELibrary(prompts, title, windows(m_app), windows(m_app + "造价资料/"));
    }
    int updatePrices(RecordingPrompts& prompts) {
        return modUpdate::UpdatePriceFiles(prompts, sample::names::kMaterialKey, windows(m_app),
                                           windows(m_app + "造价资料/"));
    }
    QString quotaLibrary(const QString& title) const { return m_app + "造价资料/定额库/" + title + ".QTDE"; }

    std::unique_ptr<kxtest::ServedMirror> m_mirror;
    QString m_served;
    kxtest::TestServer* m_server = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_app;
    QString m_installedPrices;
};

QTEST_GUILESS_MAIN(UpdateLogicTest)
#include "update_logic_test.moc"
