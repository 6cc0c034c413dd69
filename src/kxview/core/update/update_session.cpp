#include "core/update/update_session.h"

#include <QFileInfo>
#include <QLockFile>
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
        if (!lock->tryLock(waitMs)) {
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
