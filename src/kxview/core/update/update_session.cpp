#include "core/update/update_session.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>
#include <map>
#include <memory>

#include "core/io/filesystem.h"
#include "core/services/logging.h"
#include "core/update/install_journal.h"
#include "core/update/steps.h"
#include "kxview/errors.h"

namespace kx {
namespace {

/// The lock a process holds on one application folder, and how many sessions share it.
struct HeldLock {
    std::unique_ptr<QLockFile> file;
    int sessions = 0;
};

/// The locks of this process, by the real path of their application folder. Updates run on one thread.
std::map<QString, HeldLock>& heldLocks() {
    static std::map<QString, HeldLock> locks;
    return locks;
}

/// True when the lock file names no process: its writer died between creating it and writing its name.
bool namesNoProcess(const QLockFile& lock) {
    qint64 pid = 0;
    QString host, application;
    return !lock.getLockInfo(&pid, &host, &application);
}

/// Takes `lock`, waiting up to `waitMs` for the process that holds it. A lock whose process is gone is
/// taken over (QLockFile checks the process it names); one that names no process after a second is too,
/// since a live writer names itself within microseconds of creating the file.
bool takeLock(QLockFile& lock, int waitMs) {
    constexpr int kNamelessGraceMs = 1000;
    constexpr int kPollMs = 50;
    QElapsedTimer waited, nameless;
    waited.start();
    for (;;) {
        if (lock.tryLock(0)) return true;
        if (lock.error() != QLockFile::LockFailedError) return false;  // the folder refuses the file
        if (!namesNoProcess(lock)) {
            nameless.invalidate();
        } else if (!nameless.isValid()) {
            nameless.start();
        } else if (nameless.elapsed() > kNamelessGraceMs) {
            qCInfo(lcKxView) << "removing an update lock that names no process";
            lock.removeStaleLockFile();
            continue;
        }
        if (waited.elapsed() >= waitMs && !nameless.isValid()) return false;
        QThread::msleep(kPollMs);
    }
}

}  // namespace

UpdateSession::UpdateSession(const QString& appPath)
    : m_key(QFileInfo(fs::resolve(appPath)).absoluteFilePath()) {
    HeldLock& held = heldLocks()[m_key];
    if (held.sessions > 0) {
        ++held.sessions;
        m_held = true;
        return;
    }
    auto lock = std::make_unique<QLockFile>(fs::resolve(appPath + QStringLiteral("Temp/升级/update.lock")));
    lock->setStaleLockTime(0);  // an update may run long; only a lock whose process is gone is stale
    const int waitMs = qMax(0, modUpdate::GetUpdateLimits().lockWaitSeconds) * 1000;
    if (!lock->tryLock(0)) {
        qCInfo(lcKxView) << "another update of" << appPath << "is running; waiting up to" << waitMs / 1000
                         << "s";
        if (!takeLock(*lock, waitMs)) {
            qCWarning(lcKxView) << "the update lock of" << appPath << "is still held:" << lock->error();
            heldLocks().erase(m_key);
            return;
        }
    }
    held.file = std::move(lock);
    held.sessions = 1;
    m_held = true;
    m_recovery = InstallJournal::recover(InstallJournal::pathFor(appPath));
}

UpdateSession::~UpdateSession() {
    if (!m_held) return;
    auto it = heldLocks().find(m_key);
    if (it == heldLocks().end() || --it->second.sessions > 0) return;
    heldLocks().erase(it);  // the lock file is released and removed with it
}

std::optional<UpdateRefusal> UpdateSession::refusal() const {
    if (!m_held)
        return UpdateRefusal{UpdateRefusal::Reason::Busy, QStringLiteral("另一个更新正在进行，请稍后再试。")};
    if (m_recovery == modUpdate::Recovery::Failed)
        return UpdateRefusal{UpdateRefusal::Reason::InstallFailed,
                             QStringLiteral("上次中断的安装无法恢复，请检查 Temp\\升级\\install.journal。")};
    return std::nullopt;
}

}  // namespace kx

namespace modUpdate {

Recovery RecoverInterruptedInstall(const QString& AppPath) {
    try {
        detail::ensureFolders(AppPath, {QStringLiteral("Temp\\升级")});
    } catch (const kx::FileSystemError& e) {
        qCWarning(lcKxView) << "cannot recover an install in" << AppPath << ":" << e.what();
        return Recovery::Failed;
    }
    const kx::UpdateSession session(AppPath);
    const bool busy = !session.isReady() && session.recovery() != Recovery::Failed;
    return busy ? Recovery::Failed : session.recovery();
}

}  // namespace modUpdate
