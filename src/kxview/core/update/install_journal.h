// Putting a package's files in place all together or not at all, also across a crash.
//
// Invariants:
//   1. A target is only ever changed by a rename within its own folder, so at every moment it names a
//      whole file: the old one, the new one, or (between the two renames that replace it) none.
//   2. Before the first file is written, the journal names every target, whether it existed, the folders
//      made for them and the token that names their copies beside them: "<target>.kx-<token>.new" (staged)
//      and "<target>.kx-<token>.old" (backup).
//   3. The journal itself is only ever replaced by a rename, after its bytes are on the disk.
//   4. A backup is removed only once the journal says Committed; until then it can be put back.
//   5. An entry whose staged copy is gone while the journal says Committing has had its new file renamed
//      into place; one whose staged copy is still there has not.
//
// States of the journal, and the function behind each transition:
//   (none)     -> Staging     installAll: targets named, nothing written yet
//   Staging    -> Committing  installAll: every new file staged beside its target
//   Committing -> Committed   installAll: every new file renamed into place, old ones kept as backups
//   Committed  -> (none)      finish: backups and leftovers removed, then the journal
//   Staging    -> (none)      rollBack: staged copies and the folders made removed, then the journal
//   Committing -> (none)      rollBack: backups renamed back over their targets, new targets removed, then
//                             as from Staging
// recover() applies rollBack to a journal a crash left in Staging or Committing, and finish to one left in
// Committed; both can run again after another crash and end the same way.
#pragma once

#include <QList>
#include <QString>

#include "kxview/updates.h"

namespace kx {

/// One file of a package and where it goes (a real path).
struct FileToInstall {
    QString source;
    QString target;
};

/// The journal of the installs into one application folder.
class InstallJournal {
public:
    /// The journal of the application folder `appPath`: AppPath\Temp\升级\install.journal.
    static QString pathFor(const QString& appPath);

    /// Puts every one of `files` in place, replacing existing files, or none of them: when one cannot be
    /// staged or renamed into place, those already in place are put back. True when all are in place;
    /// otherwise `failedTarget` names the target that failed. The journal `journalPath` must not exist; its
    /// folder is made when missing.
    static bool installAll(const QString& journalPath, const QList<FileToInstall>& files,
                           QString& failedTarget);

    /// Finishes or undoes the install a crash interrupted, as the journal `journalPath` tells.
    static modUpdate::Recovery recover(const QString& journalPath);
};

}  // namespace kx
