// The updates' safeguards one by one, on the core alone: where manifest targets may go, packages installed
// whole or not at all and crashes undone, registration only with the host's consent, packages bounded
// before and while they unpack, downloads bounded and resumed, checksums, the caps on manifests and
// information files, one update of a folder at a time, and each safeguard switched off.
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "core/io/downloadcontrol.h"
#include "core/io/ziparchive.h"
#include "core/update/installer.h"
#include "core/update/offers.h"
#include "kxview/updates.h"
#include "publish/packages.h"
#include "update_support.h"

namespace {

using Reason = kx::UpdateRefusal::Reason;
using Files = QMap<QString, QByteArray>;  // path below the test folder -> content
const QString kFixture = QStringLiteral("测试定额");

QByteArray manifest(const QStringList& targets, const QString& flag = "0") {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Update>\r\n";
    for (int i = 0; i < targets.size(); ++i)
        xml += "  <File Source=\"" + QByteArray::number(i) + ".dat\" Target=\"" +
               targets[i].toHtmlEscaped().toUtf8() + "\" Reg=\"" + flag.toUtf8() + "\"/>\r\n";
    return xml + "</Update>\r\n";
}

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    return data;
}

/// Files below `dir` whose names show an install's staged or backup copies.
QStringList installLeftovers(const QString& dir) {
    QStringList found;
    for (QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        if (path.contains(".kx-")) found << path;
    }
    return found;
}

kx::UpdateLimits limitsWith(const std::function<void(kx::UpdateLimits&)>& change) {
    kx::UpdateLimits limits;
    change(limits);
    return limits;
}

}  // namespace

Q_DECLARE_METATYPE(kx::UpdateLimits)
Q_DECLARE_METATYPE(QList<kxtest::RawMember>)

class UpdateSafetyTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->path() + "/";
        m_app = m_root + "app/";
        m_pkg = m_app + "Temp/升级/定额库/包/";
        QDir().mkpath(m_pkg);
        kxtest::resetUpdateSettings(m_root + "sys");
    }

    // ---- Where manifest targets may go

    void manifestTargetsStayInTheirFolders_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("allowAbsolute");
        QTest::addColumn<int>("refusal");        // -1: installed
        QTest::addColumn<QString>("installed");  // where, below the test folder
        const int out = int(Reason::TargetOutsideFolder);
        QTest::newRow("below the application folder")
            << "...\\造价资料\\a.dat" << false << -1 << "app/造价资料/a.dat";
        QTest::newRow("a parent") << "...\\..\\a.dat" << false << out << "";
        QTest::newRow("a parent deeper down") << "...\\子\\..\\..\\a.dat" << false << out << "";
        QTest::newRow("a parent that stays inside") << "...\\子\\..\\a.dat" << false << out << "";
        QTest::newRow("a drive") << "...\\C:\\a.dat" << false << out << "";
        QTest::newRow("a stream") << "...\\a.dat:流" << false << out << "";
        QTest::newRow("dots and blanks") << "...\\. .\\a.dat" << false << out << "";
        QTest::newRow("three dots") << "...\\...\\a.dat" << false << out << "";
        QTest::newRow("nothing below the folder") << "...\\" << false << out << "";
        QTest::newRow("the system folder") << "<SYS>a.dll" << false << -1 << "sys/a.dll";
        QTest::newRow("above the system folder") << "<sys>..\\a.dll" << false << out << "";
        QTest::newRow("far above the system folder") << "<SYS>子\\..\\..\\a.dll" << false << out << "";
        QTest::newRow("a link out of the folder") << "...\\链接\\a.dat" << false << out << "";
        QTest::newRow("a link within the folder") << "...\\内链\\a.dat" << false << -1 << "app/真/a.dat";
        QTest::newRow("an absolute path") << "ABS/a.dat" << false << int(Reason::AbsoluteTarget) << "";
        QTest::newRow("an absolute path the host allows") << "ABS/a.dat" << true << -1 << "abs/a.dat";
    }
    void manifestTargetsStayInTheirFolders() {
        QFETCH(QString, target);
        QFETCH(bool, allowAbsolute);
        QFETCH(int, refusal);
        QFETCH(QString, installed);
        QDir().mkpath(m_root + "outside");
        QDir().mkpath(m_app + "真");
        QVERIFY(QFile::link(m_root + "outside", m_app + "链接"));
        QVERIFY(QFile::link(m_app + "真", m_app + "内链"));
        target.replace("ABS/", m_root + "abs/");
        kxtest::writeBytes(m_pkg + "Update.xml", manifest({target}));
        kxtest::writeBytes(m_pkg + "0.dat", "payload");
        const auto before = kxtest::snapshot(m_root);
        kx::PackageInstaller installer(m_pkg + "Update.xml", m_app, limitsWith([&](kx::UpdateLimits& l) {
                                           l.allowAbsoluteTargets = allowAbsolute;
                                       }));
        const bool done = installer.readManifest() && installer.install();
        QCOMPARE(done, refusal < 0);
        QCOMPARE(installer.refusal() ? int(installer.refusal()->reason) : -1, refusal);
        QStringList changed = kxtest::changedPaths(before, kxtest::snapshot(m_root));
        changed.removeIf([](const QString& p) { return p.startsWith("app/Temp/"); });
        QCOMPARE(changed, installed.isEmpty() ? QStringList{} : QStringList{installed});
    }

    // ---- Whole or not at all

    void aPackageIsInstalledWholeOrNotAtAll_data() {
        QTest::addColumn<bool>("blocked");  // the last target cannot be written
        QTest::newRow("every file can be written") << false;
        QTest::newRow("the last file cannot be written") << true;
    }
    void aPackageIsInstalledWholeOrNotAtAll() {
        QFETCH(bool, blocked);
        kxtest::writeBytes(m_app + "造价资料/a.QTDE", "old a");
        kxtest::writeBytes(m_app + "造价资料/b.QTDE", "old b");
        if (blocked) QDir().mkpath(m_app + "造价资料/d.QTDE/");  // a folder where a file goes
        kxtest::writeBytes(m_pkg + "Update.xml", manifest({"...\\造价资料\\a.QTDE", "...\\造价资料\\b.QTDE",
                                                           "...\\新\\深\\c.QTDE", "...\\造价资料\\d.QTDE"}));
        for (int i = 0; i < 4; ++i)
            kxtest::writeBytes(m_pkg + QString::number(i) + ".dat", "new " + QByteArray::number(i));
        kx::PackageInstaller installer(m_pkg + "Update.xml", m_app);
        QVERIFY(installer.readManifest());
        QCOMPARE(installer.install(), !blocked);
        QCOMPARE(kxtest::readBytes(m_app + "造价资料/a.QTDE"), blocked ? "old a" : "new 0");
        QCOMPARE(kxtest::readBytes(m_app + "造价资料/b.QTDE"), blocked ? "old b" : "new 1");
        QCOMPARE(QFile::exists(m_app + "新/深/c.QTDE"), !blocked);
        QCOMPARE(QFileInfo::exists(m_app + "新"), !blocked);  // the folders made for it go with it
        QCOMPARE(installer.installedFiles().size(), blocked ? 0 : 4);
        QCOMPARE(installLeftovers(m_root), QStringList());
        QVERIFY(!QFile::exists(m_app + "Temp/升级/install.journal"));
        QCOMPARE(QFile::exists(m_pkg + "Update.xml"), blocked);  // kept to try again
    }

    // ---- An install a crash interrupted

    void anInterruptedInstallIsUndoneOrFinished_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("renamed");  // targets already renamed into place (the third is new)
        QTest::addColumn<bool>(
            "between");  // the next target is moved to its backup, its new file not in place
        QTest::addColumn<int>("recovery");
        QTest::addColumn<bool>("newFiles");  // the new files are in place afterwards
        using R = modUpdate::Recovery;
        QTest::newRow("while staging") << "staging" << 0 << false << int(R::RolledBack) << false;
        QTest::newRow("before the first rename") << "committing" << 0 << false << int(R::RolledBack) << false;
        QTest::newRow("between the two renames of a target")
            << "committing" << 0 << true << int(R::RolledBack) << false;
        QTest::newRow("after one target") << "committing" << 1 << false << int(R::RolledBack) << false;
        QTest::newRow("after every target, before it was recorded")
            << "committing" << 3 << false << int(R::RolledBack) << false;
        QTest::newRow("after it was recorded") << "committed" << 3 << false << int(R::Completed) << true;
    }
    void anInterruptedInstallIsUndoneOrFinished() {
        QFETCH(QString, state);
        QFETCH(int, renamed);
        QFETCH(bool, between);
        QFETCH(int, recovery);
        QFETCH(bool, newFiles);
        // Three targets: two that existed, one new in a folder the install made; their copies named with the
        // token, as far as the install had come.
        const QStringList targets{m_app + "一.QTDE", m_app + "二.QTDE", m_app + "新/三.QTDE"};
        const QList<bool> existed{true, true, false};
        kxtest::writeBytes(targets[0], "old 1");
        kxtest::writeBytes(targets[1], "old 2");
        for (int i = 0; i < 3; ++i) {
            const QString staged = targets[i] + ".kx-t0k.new", backup = targets[i] + ".kx-t0k.old";
            kxtest::writeBytes(staged, "new " + QByteArray::number(i + 1));
            if (i < renamed || (i == renamed && between)) {
                if (existed[i]) QVERIFY(QFile::rename(targets[i], backup));
                if (i < renamed) QVERIFY(QFile::rename(staged, targets[i]));
            }
        }
        QJsonArray entries;
        for (int i = 0; i < 3; ++i)
            entries.append(QJsonObject{{"target", targets[i]}, {"existed", existed[i]}});
        QDir().mkpath(m_app + "Temp/升级");
        kxtest::writeBytes(m_app + "Temp/升级/install.journal",
                           QJsonDocument(QJsonObject{{"state", state},
                                                     {"token", "t0k"},
                                                     {"entries", entries},
                                                     {"folders", QJsonArray{m_app + "新"}}})
                               .toJson());

        QCOMPARE(int(modUpdate::RecoverInterruptedInstall(m_app)), recovery);
        QCOMPARE(kxtest::readBytes(targets[0]), newFiles ? "new 1" : "old 1");
        QCOMPARE(kxtest::readBytes(targets[1]), newFiles ? "new 2" : "old 2");
        QCOMPARE(QFile::exists(targets[2]), newFiles);
        QCOMPARE(QFileInfo::exists(m_app + "新"), newFiles);
        QCOMPARE(installLeftovers(m_root), QStringList());
        QVERIFY(!QFile::exists(m_app + "Temp/升级/install.journal"));
        QCOMPARE(int(modUpdate::RecoverInterruptedInstall(m_app)), int(modUpdate::Recovery::NothingToDo));
    }

    void aJournalThatCannotBeReadStopsTheUpdates() {
        kxtest::writeBytes(m_app + "Temp/升级/install.journal", "{\"state\": \"committ");
        QCOMPARE(modUpdate::RecoverInterruptedInstall(m_app), modUpdate::Recovery::Failed);
        kxtest::RecordingPrompts prompts;
        QCOMPARE(modUpdate::UpdateDELibrary(prompts, kFixture, m_app, m_app + "造价资料/"),
                 modUpdate::kInstallFailed);
        QCOMPARE(prompts.refusals.size(), 1);
        QCOMPARE(prompts.refusals.first().reason, Reason::InstallFailed);
        QVERIFY(prompts.titles.isEmpty());  // nothing was fetched
        QVERIFY(QFile::exists(m_app + "Temp/升级/install.journal"));
    }

    // ---- Registration

    void registrationWaitsForTheHostsConsent_data() {
        QTest::addColumn<bool>("consent");
        QTest::newRow("without the host's consent") << false;
        QTest::newRow("with it") << true;
    }
    void registrationWaitsForTheHostsConsent() {
        QFETCH(bool, consent);
        modUpdate::SetRegisterCommand("touch %1.registered");
        modUpdate::SetUpdateLimits(limitsWith([&](kx::UpdateLimits& l) { l.allowRegistration = consent; }));
        kxtest::writeBytes(m_pkg + "Update.xml", manifest({"<SYS>控件 一.dll", "...\\控件.dll"}, "1"));
        kxtest::writeBytes(m_pkg + "0.dat", "0");
        kxtest::writeBytes(m_pkg + "1.dat", "1");
        QVERIFY(modUpdate::InstallUpdatePackage(m_pkg + "Update.xml", m_app));
        if (consent) {
            QTRY_VERIFY(QFile::exists(m_app + "控件.dll.registered"));
            QTRY_VERIFY(QFile::exists(m_root + "sys/控件 一.dll.registered"));
        } else {
            QTest::qWait(300);  // time enough for a registration that should not run
            QVERIFY(!QFile::exists(m_app + "控件.dll.registered"));
            QVERIFY(!QFile::exists(m_root + "sys/控件 一.dll.registered"));
        }
        QCOMPARE(QFile::exists(m_root + "sys/控件"), false);  // the target is one argument
        QCOMPARE(kxtest::readBytes(m_root + "sys/控件 一.dll"), "0");
    }

    // ---- Packages bounded before and while they unpack

    void packagesAreBoundedBeforeAnythingIsWritten_data() {
        QTest::addColumn<QList<kxtest::RawMember>>("members");
        QTest::addColumn<kx::UpdateLimits>("limits");
        QTest::addColumn<int>("result");
        QList<kxtest::RawMember> eleven;
        for (int i = 0; i < 11; ++i) eleven << kxtest::RawMember::stored(QByteArray::number(i) + ".txt", "x");
        QTest::newRow("more members than allowed")
            << eleven << limitsWith([](kx::UpdateLimits& l) { l.maxPackageMembers = 10; })
            << int(kx::UnzipResult::TooManyMembers);
        QTest::newRow("as many members as allowed")
            << eleven.mid(0, 10) << limitsWith([](kx::UpdateLimits& l) { l.maxPackageMembers = 10; })
            << int(kx::UnzipResult::Ok);
        const QList<kxtest::RawMember> twoMegabytes{kxtest::RawMember::stored("a.txt", "a"),
                                                    kxtest::RawMember::zeros("big.dat", 16 << 20)};
        QTest::newRow("more bytes than allowed")
            << twoMegabytes << limitsWith([](kx::UpdateLimits& l) { l.maxUnpackedBytes = 8 << 20; })
            << int(kx::UnzipResult::TooLarge);
        QTest::newRow("80 MB from kilobytes")
            << QList<kxtest::RawMember>{kxtest::RawMember::zeros("zeros.dat", 80 << 20)} << kx::UpdateLimits{}
            << int(kx::UnzipResult::RatioTooHigh);
        QTest::newRow("32 MB from kilobytes: small packages may compress well")
            << QList<kxtest::RawMember>{kxtest::RawMember::zeros("zeros.dat", 32 << 20)} << kx::UpdateLimits{}
            << int(kx::UnzipResult::Ok);
        kxtest::RawMember lying = kxtest::RawMember::deflated("lies.dat", QByteArray(4 << 20, 'x'));
        lying.size = 1000;  // declares a thousand bytes, holds four megabytes
        QTest::newRow("a member that holds more than it declares")
            << QList<kxtest::RawMember>{kxtest::RawMember::stored("first.txt", "1"), lying}
            << kx::UpdateLimits{} << int(kx::UnzipResult::Damaged);
    }
    void packagesAreBoundedBeforeAnythingIsWritten() {
        QFETCH(QList<kxtest::RawMember>, members);
        QFETCH(kx::UpdateLimits, limits);
        QFETCH(int, result);
        const QString folder = m_root + "解压/";
        kxtest::writeBytes(folder + "已有.txt", "mine");
        kxtest::writeRawZip(m_root + "包.rar", members);
        QCOMPARE(int(kx::extractZip(m_root + "包.rar", folder, {}, limits)), result);
        QStringList files = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        if (result == int(kx::UnzipResult::Ok))
            QCOMPARE(files.size(), members.size() + 1);
        else
            QCOMPARE(files, QStringList{"已有.txt"});  // nothing written, or what was written taken back
        QCOMPARE(kxtest::readBytes(folder + "已有.txt"), "mine");
    }

    void aFailedExtractionTakesBackWhatItWrote() {
        const QString folder = m_root + "解压/";
        kxtest::writeBytes(folder + "子/已有.txt", "mine");
        kxtest::RawMember lying = kxtest::RawMember::deflated("末.dat", QByteArray(1 << 20, 'x'));
        lying.size = 10;
        kxtest::writeRawZip(m_root + "包.rar", {kxtest::RawMember::stored("一.txt", "1"),
                                                kxtest::RawMember::stored("子/二.txt", "2"),
                                                kxtest::RawMember::stored("新/深/三.txt", "3"), lying});
        const auto before = kxtest::snapshot(m_root);
        QCOMPARE(kx::extractZip(m_root + "包.rar", folder, {}), kx::UnzipResult::Damaged);
        QCOMPARE(kxtest::changedPaths(before, kxtest::snapshot(m_root)), QStringList());
        QVERIFY(!QFileInfo::exists(folder + "新"));
        QVERIFY(QFileInfo::exists(folder + "子"));
    }

    void aLinkToASiblingNamedLikeTheFolderIsNoWayOut() {
        // "out-evil" begins with "out": a check of the prefix without the separator would let it pass.
        const QString folder = m_root + "out/";
        QDir().mkpath(m_root + "out-evil");
        QDir().mkpath(folder);
        QVERIFY(QFile::link("../out-evil", folder + "链"));
        kxtest::writeRawZip(m_root + "包.rar", {kxtest::RawMember::stored("链/x.txt", "evil"),
                                                kxtest::RawMember::stored("ok.txt", "ok")});
        QCOMPARE(kx::extractZip(m_root + "包.rar", folder, {}), kx::UnzipResult::Skipped);
        QCOMPARE(QDir(m_root + "out-evil").entryList(QDir::Files), QStringList());
        QCOMPARE(kxtest::readBytes(folder + "ok.txt"), "ok");
    }

    // ---- Downloads bounded and resumed

    void downloadsAreBounded_data() {
        QTest::addColumn<QString>("behaviour");
        QTest::addColumn<kx::UpdateLimits>("limits");
        QTest::addColumn<int>("code");
        QTest::newRow("a file announced larger than allowed")
            << "" << limitsWith([](kx::UpdateLimits& l) { l.maxDownloadBytes = 1 << 20; })
            << int(kx::DownloadControl::TooLarge);
        QTest::newRow("a body without end")
            << "endless" << limitsWith([](kx::UpdateLimits& l) { l.maxDownloadBytes = 4 << 20; })
            << int(kx::DownloadControl::TooLarge);
        QTest::newRow("too few bytes in a window") << "trickle=50" << limitsWith([](kx::UpdateLimits& l) {
            l.rateWindowSeconds = 1;
            l.minBytesPerWindow = 1000;
        }) << int(kx::DownloadControl::TooSlow);
        QTest::newRow("past the deadline") << "trickle=50" << limitsWith([](kx::UpdateLimits& l) {
            l.rateWindowSeconds = 0;
            l.downloadDeadlineSeconds = 1;
        }) << int(kx::DownloadControl::TimedOut);
    }
    void downloadsAreBounded() {
        QFETCH(QString, behaviour);
        QFETCH(kx::UpdateLimits, limits);
        QFETCH(int, code);
        servedFile(randomBytes(3 << 20, 3));
        QSignalSpy failed(m_download.get(), &kx::DownloadControl::failed);
        fetch(behaviour, limits);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().toInt(), code);
        QCOMPARE(QDir(m_target).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void interruptedDownloadsResume_data() {
        QTest::addColumn<QString>("behaviour");
        QTest::addColumn<QStringList>("ranges");  // what the client asked for after the cut
        QTest::newRow("with a range where the server supports ranges")
            << "ranges/~cut1=1000000" << QStringList{"/大.rar bytes=1000000-"};
        QTest::newRow("from the start where it does not") << "cut1=1000000" << QStringList{};
        QTest::newRow("from the start when the file changed meanwhile")
            << "ranges/~unstable/~cut1=1000000" << QStringList{"/大.rar bytes=1000000-"};
    }
    void interruptedDownloadsResume() {
        QFETCH(QString, behaviour);
        QFETCH(QStringList, ranges);
        const QByteArray content = randomBytes(3 << 20, 5);
        servedFile(content);
        QSignalSpy completed(m_download.get(), &kx::DownloadControl::completed);
        fetch(behaviour, {});
        QCOMPARE(completed.first().first().toInt(), content.size());
        QVERIFY(kxtest::readBytes(m_target + "大.rar") == content);
        QCOMPARE(m_server->rangeRequests(), ranges);
        QVERIFY(m_server->requests().size() >= 2);
        QCOMPARE(QDir(m_target).entryList(QDir::Files | QDir::Hidden), QStringList{"大.rar"});
    }

    void whatARangeServerSentIsContinuedByTheNextTransfer() {
        const QByteArray content = randomBytes(3 << 20, 7);
        servedFile(content);
        QSignalSpy failed(m_download.get(), &kx::DownloadControl::failed);
        // The same address both times: the first request of it is cut short, the next answered.
        fetch("ranges/~cut1=1000000", limitsWith([](kx::UpdateLimits& l) { l.resumeAttempts = 0; }));
        QCOMPARE(failed.first().first().toInt(), int(kx::DownloadControl::Unknown));
        QVERIFY(!QFile::exists(m_target + "大.rar"));
        QCOMPARE(QFileInfo(m_target + "大.rar.kxpart").size(), 1000000);
        fetch("ranges/~cut1=1000000", {});
        QVERIFY(kxtest::readBytes(m_target + "大.rar") == content);
        QCOMPARE(m_server->rangeRequests(), QStringList{"/大.rar bytes=1000000-"});
        QCOMPARE(QDir(m_target).entryList(QDir::Files | QDir::Hidden), QStringList{"大.rar"});
    }

    // ---- Checksums

    void packagesAreCheckedAgainstTheirChecksum_data() {
        QTest::addColumn<QString>("checksum");  // "right", "wrong", "garbage", "none"
        QTest::addColumn<bool>("required");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("refusal");
        QTest::newRow("the published checksum") << "right" << false << int(modUpdate::kUpdateFinished) << -1;
        QTest::newRow("another package's checksum")
            << "wrong" << false << int(modUpdate::kDownloadFailed) << int(Reason::ChecksumMismatch);
        QTest::newRow("no checksum at all in the file")
            << "garbage" << false << int(modUpdate::kDownloadFailed) << int(Reason::ChecksumMismatch);
        QTest::newRow("none published: as before")
            << "none" << false << int(modUpdate::kUpdateFinished) << -1;
        QTest::newRow("none published, and the host requires one")
            << "none" << true << int(modUpdate::kDownloadFailed) << int(Reason::ChecksumMissing);
    }
    void packagesAreCheckedAgainstTheirChecksum() {
        QFETCH(QString, checksum);
        QFETCH(bool, required);
        QFETCH(int, code);
        QFETCH(int, refusal);
        kxtest::ServedMirror mirror;
        QVERIFY(mirror.ok());
        const QString package = mirror.folder() + "/更新数据/定额库/" + kFixture + ".rar";
        writeFixturePackage(package, "good library");
        if (checksum == "wrong") {
            const QByteArray published = kxtest::readBytes(package + ".sha256");
            writeFixturePackage(package, "tampered");
            kxtest::writeBytes(package + ".sha256", published);
        }
        if (checksum == "garbage") kxtest::writeBytes(package + ".sha256", "<html>not found</html>");
        if (checksum == "none") QFile::remove(package + ".sha256");
        modUpdate::SetUpdateBaseAddress(mirror.server().base());
        modUpdate::SetUpdateLimits(limitsWith([&](kx::UpdateLimits& l) { l.requireChecksums = required; }));
        kxtest::RecordingPrompts prompts;
        QCOMPARE(modUpdate::UpdateDELibrary(prompts, kFixture, m_app, m_app + "造价资料/"), code);
        QCOMPARE(prompts.refusals.size(), refusal < 0 ? 0 : 1);
        if (refusal >= 0) QCOMPARE(int(prompts.refusals.first().reason), refusal);
        QCOMPARE(QFile::exists(m_app + "造价资料/定额库/好.QTDE"), refusal < 0);
        QCOMPARE(QDir(m_app + "Temp/升级/定额库").entryList(QDir::Files), QStringList());
    }

    // ---- Caps on what an update reads

    void manifestsAndInformationFilesAreCapped_data() {
        QTest::addColumn<QString>("file");  // "manifest" or "information"
        QTest::addColumn<int>("lines");
        QTest::addColumn<kx::UpdateLimits>("limits");
        QTest::addColumn<int>("refusal");
        auto entries = [](int n) {
            return limitsWith([n](kx::UpdateLimits& l) { l.maxManifestEntries = n; });
        };
        auto lines = [](int n) {
            return limitsWith([n](kx::UpdateLimits& l) { l.maxInformationLines = n; });
        };
        QTest::newRow("a manifest within its caps") << "manifest" << 3 << entries(3) << -1;
        QTest::newRow("a manifest with more entries")
            << "manifest" << 4 << entries(3) << int(Reason::ManifestTooManyEntries);
        QTest::newRow("a larger manifest")
            << "manifest" << 3 << limitsWith([](kx::UpdateLimits& l) { l.maxManifestBytes = 200; })
            << int(Reason::ManifestTooLarge);
        QTest::newRow("an information file within its caps") << "information" << 5 << lines(5) << -1;
        QTest::newRow("an information file with more lines")
            << "information" << 6 << lines(5) << int(Reason::InformationTooManyLines);
        QTest::newRow("a larger information file")
            << "information" << 5 << limitsWith([](kx::UpdateLimits& l) { l.maxInformationBytes = 200; })
            << int(Reason::InformationTooLarge);
    }
    void manifestsAndInformationFilesAreCapped() {
        QFETCH(QString, file);
        QFETCH(int, lines);
        QFETCH(kx::UpdateLimits, limits);
        QFETCH(int, refusal);
        modUpdate::SetUpdateLimits(limits);
        std::optional<kx::UpdateRefusal> refused;
        if (file == "manifest") {
            QStringList targets;
            for (int i = 0; i < lines; ++i) targets << "...\\" + QString::number(i) + ".dat";
            kxtest::writeBytes(m_pkg + "Update.xml", manifest(targets));
            kx::PackageInstaller installer(m_pkg + "Update.xml", m_app, limits);
            QCOMPARE(installer.readManifest(), refusal < 0);
            refused = installer.refusal();
        } else {
            std::vector<publish::ChangeLine> changes(static_cast<size_t>(lines), {"调整", 0});
            kxtest::writeBytes(m_root + "info.xml",
                               QByteArray::fromStdString(publish::informationFile("2.0", changes)));
            const kx::QuotaLibraryOffer offer = kx::readQuotaLibraryOffer(
                m_root + "info.xml", kxtest::sampleApp() + "/造价资料/定额库/建筑工程消耗量定额.QTDE");
            QCOMPARE(offer.readable, refusal < 0);
            QCOMPARE(offer.changes.size(), refusal < 0 ? lines : 0);
            refused = offer.refusal;
            if (refused) QCOMPARE(offer.headline(), refused->text);
        }
        QCOMPARE(refused ? int(refused->reason) : -1, refusal);
    }

    // ---- One update of a folder at a time

    void updatesOfOneFolderRunOneAtATime() {
        kxtest::ServedMirror mirror;
        QVERIFY(mirror.ok());
        writeFixturePackage(mirror.folder() + "/更新数据/定额库/" + kFixture + ".rar",
                            randomBytes(4 << 20, 9));
        QProcess other;
        startSlowUpdate(other, mirror.server().base("slow=20000"));
        modUpdate::SetUpdateBaseAddress(mirror.server().base());
        modUpdate::SetUpdateLimits(limitsWith([](kx::UpdateLimits& l) { l.lockWaitSeconds = 0; }));
        kxtest::RecordingPrompts busy;
        QCOMPARE(modUpdate::UpdateDELibrary(busy, kFixture, m_app, m_app + "造价资料/"),
                 modUpdate::kInstallFailed);
        QCOMPARE(busy.refusals.size(), 1);
        QCOMPARE(busy.refusals.first().reason, Reason::Busy);
        QVERIFY(busy.titles.isEmpty());
        QCOMPARE(other.state(), QProcess::Running);

        modUpdate::SetUpdateLimits(limitsWith([](kx::UpdateLimits& l) { l.lockWaitSeconds = 60; }));
        kxtest::RecordingPrompts waiting;
        QCOMPARE(modUpdate::UpdateDELibrary(waiting, kFixture, m_app, m_app + "造价资料/"),
                 modUpdate::kUpdateFinished);
        // It ended before the lock came free (and the event loops of this update noticed).
        QVERIFY(other.state() == QProcess::NotRunning || other.waitForFinished(1000));
        QCOMPARE(other.exitCode(), 0);
    }

    void aLockLeftByAKilledUpdateIsTakenOver() {
        kxtest::ServedMirror mirror;
        QVERIFY(mirror.ok());
        writeFixturePackage(mirror.folder() + "/更新数据/定额库/" + kFixture + ".rar",
                            randomBytes(4 << 20, 11));
        QProcess other;
        startSlowUpdate(other, mirror.server().base("slow=20000"));
        ::kill(static_cast<pid_t>(other.processId()), SIGKILL);
        QVERIFY(other.waitForFinished(5000));
        QVERIFY(QFile::exists(m_app + "Temp/升级/update.lock"));
        modUpdate::SetUpdateBaseAddress(mirror.server().base());
        modUpdate::SetUpdateLimits(limitsWith([](kx::UpdateLimits& l) { l.lockWaitSeconds = 0; }));
        kxtest::RecordingPrompts prompts;
        QCOMPARE(modUpdate::UpdateDELibrary(prompts, kFixture, m_app, m_app + "造价资料/"),
                 modUpdate::kUpdateFinished);
        QVERIFY(!QFile::exists(m_app + "Temp/升级/update.lock"));
    }

    // ---- Each safeguard can be switched off

    void eachSafeguardCanBeSwitchedOff_data() {
        QTest::addColumn<QString>("safeguard");
        QTest::newRow("confinement") << "confinePaths";
        QTest::newRow("all or nothing") << "allOrNothing";
        QTest::newRow("checksums") << "verifyChecksums";
        QTest::newRow("telling refusals") << "reportRefusals";
    }
    void eachSafeguardCanBeSwitchedOff() {
        QFETCH(QString, safeguard);
        kxtest::ServedMirror mirror;
        QVERIFY(mirror.ok());
        const QString package = mirror.folder() + "/更新数据/定额库/" + kFixture + ".rar";
        QStringList targets{"...\\造价资料\\定额库\\好.QTDE"};
        if (safeguard == "confinePaths") targets << "...\\..\\外.dat";
        if (safeguard == "allOrNothing") targets << "...\\占用\\坏.dat";
        kxtest::writeBytes(m_app + "占用", "a file where a folder is wanted");
        writeFixturePackage(package, "good library", targets);
        if (safeguard == "verifyChecksums" || safeguard == "reportRefusals")
            kxtest::writeBytes(package + ".sha256", QByteArray(64, 'a') + "  x.rar\n");
        modUpdate::SetUpdateBaseAddress(mirror.server().base());
        modUpdate::SetUpdateLimits(limitsWith([&](kx::UpdateLimits& l) {
            l.confinePaths = safeguard != "confinePaths";
            l.allOrNothing = safeguard != "allOrNothing";
            l.verifyChecksums = safeguard != "verifyChecksums";
            l.reportRefusals = safeguard != "reportRefusals";
        }));
        kxtest::RecordingPrompts prompts;
        const qint32 code = modUpdate::UpdateDELibrary(prompts, kFixture, m_app, m_app + "造价资料/");
        QVERIFY(prompts.refusals.isEmpty());
        // Switched off, each behaves as the updates did before it: the file outside is written, the
        // entry that could be installed stays installed, the package goes unchecked; only the refusal
        // told is left out.
        QCOMPARE(QFile::exists(m_app + "造价资料/定额库/好.QTDE"), safeguard != "reportRefusals");
        if (safeguard == "confinePaths") QCOMPARE(kxtest::readBytes(m_root + "外.dat"), "1");
        QCOMPARE(code, safeguard == "allOrNothing"     ? modUpdate::kInstallFailed
                       : safeguard == "reportRefusals" ? modUpdate::kDownloadFailed
                                                       : modUpdate::kUpdateFinished);
    }

private:
    /// Serves `content` as "大.rar" from a folder of its own, and prepares a control and a target folder.
    void servedFile(const QByteArray& content) {
        kxtest::writeBytes(m_root + "served/大.rar", content);
        m_server = std::make_unique<kxtest::TestServer>(m_root + "served");
        QVERIFY(m_server->isListening());
        m_target = m_root + "target/";
        QDir().mkpath(m_target);
        m_download = std::make_unique<kx::DownloadControl>();
    }

    /// Fetches "大.rar" with the server behaving as `behaviour` says, within `limits`, to the end.
    void fetch(const QString& behaviour, const kx::UpdateLimits& limits) {
        QSignalSpy completed(m_download.get(), &kx::DownloadControl::completed);
        m_download->setLimits(limits);
        m_download->setUrl(m_server->base(behaviour) + "大.rar");
        m_download->setTargetFolder(m_target);
        m_download->start();
        QVERIFY(completed.wait(30000));
    }

    /// The fixture library's package: Update.xml placing its files at `targets` ("0.dat" is `library`,
    /// the others "1", "2", ...), and its checksum.
    void writeFixturePackage(const QString& package, const QByteArray& library,
                             const QStringList& targets = {"...\\造价资料\\定额库\\好.QTDE"}) {
        std::vector<publish::ZipMember> members{
            publish::ZipMember("Update.xml", publish::toBytes(manifest(targets).toStdString()))};
        for (int i = 0; i < targets.size(); ++i) {
            const QByteArray content = i == 0 ? library : QByteArray::number(i);
            members.emplace_back(std::to_string(i) + ".dat",
                                 std::vector<uint8_t>(content.begin(), content.end()));
        }
        QVERIFY(publish::writeZip(QFile::encodeName(package).toStdString(), members).ok());
        kxtest::writeChecksum(package);
    }

    /// Starts kxview-update on the fixture library in `other`, against `base`, and waits until it holds
    /// the lock (its download has begun).
    void startSlowUpdate(QProcess& other, const QString& base) {
        other.start(KXVIEW_UPDATE_TOOL, {"de", kFixture, "--app-dir", m_app, "--base", base, "--yes"});
        QByteArray printed;
        QTRY_VERIFY2_WITH_TIMEOUT((printed += other.readAllStandardError()).contains("开始下载"),
                                  printed.constData(), 20000);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root, m_app, m_pkg, m_target;
    std::unique_ptr<kxtest::TestServer> m_server;
    std::unique_ptr<kx::DownloadControl> m_download;
};

QTEST_GUILESS_MAIN(UpdateSafetyTest)
#include "update_safety_test.moc"
