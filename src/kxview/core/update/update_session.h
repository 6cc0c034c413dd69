// One update of an application folder at a time, across processes, and the folder's interrupted install
// finished or undone before an update goes on.
#pragma once

#include <QString>
#include <optional>

#include "kxview/updates.h"

namespace kx {

/// Holds the update lock of one application folder (AppPath\Temp\升级\update.lock) while it lives. The
/// first session of a process takes the lock, waiting up to UpdateLimits::lockWaitSeconds for another
/// process's update, and then recovers the install a crash interrupted; sessions opened inside it (an
/// update procedure that calls another) share the lock. A lock left by a process that died is taken over.
class UpdateSession {
public:
    /// Opens the session of `appPath` (ending with a separator; its Temp\升级 folder must exist).
    explicit UpdateSession(const QString& appPath);
    ~UpdateSession();
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    /// True when the lock is held and no interrupted install is left: the update may go on.
    bool isReady() const { return m_held && m_recovery != modUpdate::Recovery::Failed; }
    /// What recovering the interrupted install found (NothingToDo for a session inside another).
    modUpdate::Recovery recovery() const { return m_recovery; }
    /// Why the update may not go on, for the user; nothing when it may.
    std::optional<UpdateRefusal> refusal() const;

private:
    QString m_key;
    bool m_held = false;
    modUpdate::Recovery m_recovery = modUpdate::Recovery::NothingToDo;
};

}  // namespace kx
