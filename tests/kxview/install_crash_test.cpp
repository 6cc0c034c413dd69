// kill -9 during an update, at random points: kxview-update installs a package of twelve files (six that
// replace files, four new ones in new folders, two in the system folder) from a local update service
// under strace, which kills it at the N-th call of a chosen system call. After each kill, the next update's
// recovery ("kxview-update recover") must leave every target as it was before or every target as the
// package has it, never a mix, with no copy or journal left; and the update run again must then install
// the package whole.
//
// Half the tries kill at a random rename (the calls that put files in place), half at a random call
// among every file operation. KXVIEW_CRASH_TRIES sets the number of tries (default 60).
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "publish/packages.h"
#include "update_support.h"

namespace {

const QString kLibrary = QStringLiteral("崩溃定额");
const QStringList kFileCalls{"openat",    "write",  "fsync",    "fdatasync", "rename", "renameat",
                             "renameat2", "unlink", "unlinkat", "mkdir",     "mkdirat"};
const QStringList kRenameCalls{"rename", "renameat", "renameat2"};

/// One target of the package: where it goes below the test folder and whether a file is there before.
struct Target {
    QString source;    // member of the package
    QString manifest;  // its target as the manifest writes it
    QString path;      // below the test folder
    bool existed;
};

QList<Target> targets() {
    QList<Target> list;
    for (int i = 0; i < 6; ++i)
        list.append({QString("旧%1.dat").arg(i), QString("...\\造价资料\\定额库\\旧%1.dat").arg(i),
                     QString("app/造价资料/定额库/旧%1.dat").arg(i), true});
    for (int i = 0; i < 4; ++i)
        list.append({QString("新%1.dat").arg(i), QString("...\\新目录\\第%1层\\新%1.dat").arg(i),
                     QString("app/新目录/第%1层/新%1.dat").arg(i), false});
    list.append({"sys0.dll", "<SYS>sys0.dll", "sys/sys0.dll", true});
    list.append({"sys1.dll", "<SYS>子\\sys1.dll", "sys/子/sys1.dll", false});
    return list;
}

QByteArray contentOf(const QString& name, const char* edition) {
    QByteArray data(200 * 1024 + name.size(), Qt::Uninitialized);
    QRandomGenerator random(static_cast<quint32>(qHash(name + edition)));
    random.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    return data;
}

QByteArray hashOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return "absent";
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex();
}

}  // namespace

class InstallCrashTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable("strace").isEmpty())
            QSKIP("strace is not installed (scripts/setup-deps.sh installs it)");
        QVERIFY(m_dir.isValid());
        m_base = m_dir.path() + "/";
        writeServiceAndPristineApp();
        // How often a clean update makes each call: the range the kills are drawn from.
        QProcess counting;
        counting.start("strace",
                       QStringList{"-f", "-c", "-e", "trace=" + kFileCalls.join(','), KXVIEW_UPDATE_TOOL} +
                           updateArguments(freshApp("counting")));
        QVERIFY(counting.waitForFinished(120000));
        QCOMPARE(counting.exitCode(), 0);
        for (const QString& line : QString::fromUtf8(counting.readAllStandardError()).split('\n')) {
            const QStringList fields = line.simplified().split(' ');
            if (fields.size() >= 5 && kFileCalls.contains(fields.last()))
                m_calls[fields.last()] = fields[3].toInt();
        }
        QVERIFY2(m_calls.value("rename") + m_calls.value("renameat") + m_calls.value("renameat2") > 12,
                 qPrintable(QString("strace counted no renames: %1").arg(m_calls.keys().join(','))));
        QCOMPARE(stateOf("counting"), QString("new"));
    }

    void killedAnywhereTheFilesAreOldOrNewNeverMixed() {
        const int tries = qEnvironmentVariableIntValue("KXVIEW_CRASH_TRIES") > 0
                              ? qEnvironmentVariableIntValue("KXVIEW_CRASH_TRIES")
                              : 60;
        QRandomGenerator random(20240101);
        QMap<QString, int> outcomes, killedAt;
        int killed = 0, mixedBeforeRecovery = 0;
        for (int t = 0; t < tries; ++t) {
            const auto [call, when] = pickKillPoint(random, t % 2 == 0 ? kRenameCalls : kFileCalls);
            const QString name = QString("try%1").arg(t);
            const QString app = freshApp(name);
            QProcess run;
            run.start("strace", QStringList{"-f", "-qq", "-o", "/dev/null", "-e", "trace=" + call, "-e",
                                            QString("inject=%1:signal=KILL:when=%2").arg(call).arg(when),
                                            KXVIEW_UPDATE_TOOL} +
                                    updateArguments(app));
            QVERIFY(run.waitForFinished(120000));
            const bool wasKilled = run.exitCode() != 0;
            killed += wasKilled;
            killedAt[call] += wasKilled;
            mixedBeforeRecovery += stateOf(name) == "mixed";

            QProcess recover;
            recover.start(KXVIEW_UPDATE_TOOL, {"recover", "--app-dir", app});
            QVERIFY(recover.waitForFinished(60000));
            QVERIFY2(recover.exitCode() == 0,
                     qPrintable(QString("%1 killed at %2 #%3: %4")
                                    .arg(name, call)
                                    .arg(when)
                                    .arg(QString::fromUtf8(recover.readAllStandardError()))));
            const QString state = stateOf(name);
            outcomes[state] += 1;
            QVERIFY2(
                state != "mixed",
                qPrintable(
                    QString("%1 killed at %2 #%3: a mix of old and new files").arg(name, call).arg(when)));
            QCOMPARE(leftovers(name), QStringList());

            QProcess again;
            again.start(KXVIEW_UPDATE_TOOL, updateArguments(app));
            QVERIFY(again.waitForFinished(120000));
            QVERIFY2(again.exitCode() == 0, again.readAllStandardError().constData());
            QCOMPARE(stateOf(name), QString("new"));
        }
        QStringList where;
        for (auto it = killedAt.cbegin(); it != killedAt.cend(); ++it)
            where << QString("%1 %2").arg(it.key()).arg(it.value());
        qInfo().noquote() << QString(
                                 "kill -9 campaign: %1 tries, %2 killed (%3); %4 left a mix until recovered; "
                                 "after recovery: old %5, new %6, mixed %7")
                                 .arg(tries)
                                 .arg(killed)
                                 .arg(where.join(", "))
                                 .arg(mixedBeforeRecovery)
                                 .arg(outcomes.value("old"))
                                 .arg(outcomes.value("new"))
                                 .arg(outcomes.value("mixed"));
        QVERIFY(killed >= tries / 2);  // the kills land: the campaign tests something
    }

private:
    /// The package on a local update service, and the application folder before the update.
    void writeServiceAndPristineApp() {
        QByteArray manifest = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Update>\r\n";
        std::vector<publish::ZipMember> members;
        for (const Target& t : targets()) {
            manifest += "  <File Source=\"" + t.source.toUtf8() + "\" Target=\"" +
                        t.manifest.toHtmlEscaped().toUtf8() + "\" Reg=\"0\"/>\r\n";
            const QByteArray content = contentOf(t.source, "new");
            members.emplace_back(t.source.toStdString(),
                                 std::vector<uint8_t>(content.begin(), content.end()));
            m_new[t.path] = QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex();
            if (t.existed) {
                kxtest::writeBytes(m_base + "pristine/" + t.path, contentOf(t.source, "old"));
                m_old[t.path] = hashOf(m_base + "pristine/" + t.path);
            } else {
                m_old[t.path] = "absent";
            }
        }
        manifest += "</Update>\r\n";
        members.emplace_back("Update.xml", publish::toBytes(manifest.toStdString()));
        const QString package = m_base + "service/更新数据/定额库/" + kLibrary + ".rar";
        QDir().mkpath(QFileInfo(package).absolutePath());
        QVERIFY(publish::writeZip(QFile::encodeName(package).toStdString(), members).ok());
        kxtest::writeChecksum(package);
    }

    /// A copy of the pristine application and system folders under `name`; the application folder.
    QString freshApp(const QString& name) {
        const QString root = m_base + name + "/";
        [&] { QVERIFY(kxtest::copyTree(m_base + "pristine", root)); }();
        return root + "app/";
    }

    QStringList updateArguments(const QString& app) const {
        return {"de",    kLibrary,       "--app-dir",
                app,     "--base",       m_base + "service/",
                "--yes", "--system-dir", QDir::cleanPath(app + "../sys") + "/"};
    }

    /// "old" when every target is as before, "new" when every one is as the package has it, else "mixed".
    QString stateOf(const QString& name) const {
        bool old = true, fresh = true;
        for (auto it = m_old.cbegin(); it != m_old.cend(); ++it) {
            const QByteArray now = hashOf(m_base + name + "/" + it.key());
            old = old && now == it.value();
            fresh = fresh && now == m_new.value(it.key());
        }
        return old ? "old" : fresh ? "new" : "mixed";
    }

    /// Staged or backup copies and journals left below the folder of `name`.
    QStringList leftovers(const QString& name) const {
        QStringList found;
        for (QDirIterator it(m_base + name, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            if (path.contains(".kx-") || path.endsWith("install.journal")) found << path;
        }
        return found;
    }

    /// A call among `calls` and which of its invocations, drawn by how often a clean update makes each.
    std::pair<QString, int> pickKillPoint(QRandomGenerator& random, const QStringList& calls) const {
        int total = 0;
        for (const QString& c : calls) total += m_calls.value(c);
        int n = static_cast<int>(random.bounded(total));
        for (const QString& c : calls) {
            if (n < m_calls.value(c)) return {c, n + 1};
            n -= m_calls.value(c);
        }
        return {calls.first(), 1};
    }

    QTemporaryDir m_dir;
    QString m_base;
    QMap<QString, int> m_calls;              // system call -> invocations in a clean update
    QMap<QString, QByteArray> m_old, m_new;  // target -> content hash before and after ("absent")
};

QTEST_GUILESS_MAIN(InstallCrashTest)
#include "install_crash_test.moc"
