#include "core/update/install_journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include "core/io/filesystem.h"
#include "core/services/logging.h"

namespace kx {
namespace {

// A journal names a package's targets: far below this; anything larger is not ours.
constexpr qint64 kMaxJournalBytes = 16 << 20;

enum class State { Staging, Committing, Committed };

const char* stateName(State state) {
    switch (state) {
        case State::Staging:
            return "staging";
        case State::Committing:
            return "committing";
        case State::Committed:
            return "committed";
    }
    return "";
}

/// One target of an install: where it goes and whether a file was there before.
struct Entry {
    QString target;
    bool existed = false;
};

/// An install in progress, as its journal records it.
struct Transaction {
    QString journal;
    QString token;
    QList<Entry> entries;
    QStringList madeFolders;  // outermost first

    QString staged(const Entry& e) const { return e.target + QStringLiteral(".kx-") + token + ".new"; }
    QString backup(const Entry& e) const { return e.target + QStringLiteral(".kx-") + token + ".old"; }

    bool record(State state) const;
    bool stage(const QList<FileToInstall>& files, QString& failedTarget);
    bool commit(QString& failedTarget);
    bool rollBack(State state) const;
    bool finish(bool journalFirst) const;
};

bool Transaction::record(State state) const {
    QJsonArray targets;
    for (const Entry& e : entries)
        targets.append(
            QJsonObject{{QStringLiteral("target"), e.target}, {QStringLiteral("existed"), e.existed}});
    const QJsonObject content{{QStringLiteral("state"), QString::fromLatin1(stateName(state))},
                              {QStringLiteral("token"), token},
                              {QStringLiteral("entries"), targets},
                              {QStringLiteral("folders"), QJsonArray::fromStringList(madeFolders)}};
    // Written beside itself and renamed over it once on the disk: the journal is one state or the next.
    return fs::writeFile(journal, QJsonDocument(content).toJson()) == fs::WriteResult::Ok;
}

/// The folders above `folder` (itself included) that do not exist, outermost first.
QStringList missingFolders(const QString& folder) {
    QStringList missing;
    for (QFileInfo f(folder); !f.exists() && !f.isSymLink(); f = QFileInfo(f.absolutePath())) {
        if (f.absoluteFilePath() == f.absolutePath()) break;  // the root
        missing.prepend(f.absoluteFilePath());
    }
    return missing;
}

bool Transaction::stage(const QList<FileToInstall>& files, QString& failedTarget) {
    for (const FileToInstall& file : files) {
        const QFileInfo target(file.target);
        if (target.exists() && !target.isFile()) {
            qCWarning(lcKxView) << "install target is not a file:" << file.target;
            failedTarget = file.target;
            return false;
        }
        entries.append({file.target, target.isFile()});
        for (const QString& folder : missingFolders(target.absolutePath()))
            if (!madeFolders.contains(folder)) madeFolders << folder;
    }
    if (!record(State::Staging)) {
        failedTarget = journal;
        return false;
    }
    for (const QString& folder : std::as_const(madeFolders)) {
        if (!QDir().mkdir(folder)) {
            qCWarning(lcKxView) << "cannot create folder" << folder;
            failedTarget = folder;
            return false;
        }
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (fs::copyFile(files[i].source, staged(entries[i])) != fs::WriteResult::Ok) {
            qCWarning(lcKxView) << "cannot stage" << files[i].source << "beside" << files[i].target;
            failedTarget = files[i].target;
            return false;
        }
    }
    return true;
}

bool Transaction::commit(QString& failedTarget) {
    for (const Entry& e : std::as_const(entries)) {
        if (QFileInfo(e.target).isFile() && !fs::renameReplacing(e.target, backup(e))) {
            failedTarget = e.target;
            return false;
        }
        if (!fs::renameReplacing(staged(e), e.target)) {
            failedTarget = e.target;
            return false;
        }
    }
    return true;
}

bool Transaction::rollBack(State state) const {
    bool restored = true;
    for (auto e = entries.crbegin(); e != entries.crend(); ++e) {
        if (state == State::Committing) {
            if (QFileInfo(backup(*e)).isFile()) {
                restored = fs::renameReplacing(backup(*e), e->target) && restored;
            } else if (!e->existed && !QFileInfo(staged(*e)).exists() && QFileInfo(e->target).isFile()) {
                restored = QFile::remove(e->target) && restored;  // it was renamed into place (invariant 5)
            }
        }
        QFile::remove(staged(*e));
    }
    for (auto folder = madeFolders.crbegin(); folder != madeFolders.crend(); ++folder) QDir().rmdir(*folder);
    if (!restored) {
        qCWarning(lcKxView) << "an interrupted install could not be undone; the journal stays:" << journal;
        return false;
    }
    return QFile::remove(journal);
}

bool Transaction::finish(bool journalFirst) const {
    // A journal that does not say Committed goes first: once a backup is gone it must never be rolled back.
    if (journalFirst && !QFile::remove(journal)) return false;
    for (const Entry& e : entries) {
        QFile::remove(backup(e));
        QFile::remove(staged(e));
    }
    return journalFirst || QFile::remove(journal);
}

/// Reads the journal; false when it is not one this code wrote.
bool read(const QString& path, Transaction& t, State& state) {
    QFile file(path);
    if (file.size() > kMaxJournalBytes || !file.open(QIODevice::ReadOnly)) return false;
    const QJsonObject content = QJsonDocument::fromJson(file.readAll()).object();
    const QString stateText = content.value(QStringLiteral("state")).toString();
    if (stateText == QLatin1String(stateName(State::Staging)))
        state = State::Staging;
    else if (stateText == QLatin1String(stateName(State::Committing)))
        state = State::Committing;
    else if (stateText == QLatin1String(stateName(State::Committed)))
        state = State::Committed;
    else
        return false;
    t.journal = path;
    t.token = content.value(QStringLiteral("token")).toString();
    if (t.token.isEmpty()) return false;
    for (const QJsonValue& v : content.value(QStringLiteral("entries")).toArray()) {
        const QString target = v.toObject().value(QStringLiteral("target")).toString();
        if (target.isEmpty()) return false;
        t.entries.append({target, v.toObject().value(QStringLiteral("existed")).toBool()});
    }
    for (const QJsonValue& v : content.value(QStringLiteral("folders")).toArray())
        t.madeFolders << v.toString();
    return true;
}

}  // namespace

QString InstallJournal::pathFor(const QString& appPath) {
    return fs::resolve(appPath + QStringLiteral("Temp/升级/install.journal"));
}

bool InstallJournal::installAll(const QString& journalPath, const QList<FileToInstall>& files,
                                QString& failedTarget) {
    Transaction t;
    t.journal = journalPath;
    t.token = QString::number(QRandomGenerator::global()->generate64(), 16);
    QDir().mkpath(QFileInfo(journalPath).absolutePath());
    if (!t.stage(files, failedTarget)) {
        t.rollBack(State::Staging);
        return false;
    }
    if (!t.record(State::Committing)) {
        failedTarget = journalPath;
        t.rollBack(State::Staging);
        return false;
    }
    if (!t.commit(failedTarget)) {
        t.rollBack(State::Committing);
        return false;
    }
    // From here on the new files stay, whatever happens to the clean-up.
    const bool recorded = t.record(State::Committed);
    if (!recorded) qCWarning(lcKxView) << "cannot record a finished install:" << journalPath;
    t.finish(!recorded);
    return true;
}

modUpdate::Recovery InstallJournal::recover(const QString& journalPath) {
    if (!QFileInfo::exists(journalPath)) return modUpdate::Recovery::NothingToDo;
    Transaction t;
    State state = State::Staging;
    if (!read(journalPath, t, state)) {
        qCWarning(lcKxView) << "the install journal cannot be read:" << journalPath;
        return modUpdate::Recovery::Failed;
    }
    qCInfo(lcKxView) << "an install was interrupted while" << stateName(state) << "; journal" << journalPath;
    if (state == State::Committed)
        return t.finish(false) ? modUpdate::Recovery::Completed : modUpdate::Recovery::Failed;
    return t.rollBack(state) ? modUpdate::Recovery::RolledBack : modUpdate::Recovery::Failed;
}

}  // namespace kx
