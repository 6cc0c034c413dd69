// Steps shared by the update procedures.
#pragma once

#include <QString>
#include <QStringList>

class frmPub_DownLoad;

namespace modUpdate::detail {

/// Creates each of `levels` below `appPath` that does not exist yet, in order (with any missing parent).
void ensureFolders(const QString& appPath, const QStringList& levels);

/// Fetches `url` into `folder` through the shared download dialog, which starts at once and closes by
/// itself when the file has arrived or the transfer failed. A non-empty `title` replaces the dialog's
/// status text; otherwise it keeps the last one. Returns the dialog, whose state tells the outcome.
frmPub_DownLoad& fetch(const QString& url, const QString& folder, const QString& title = QString());

}  // namespace modUpdate::detail
