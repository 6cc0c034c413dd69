// A download as its user follows it: the status line of the download dialog, told by the download
// control's signals, and the start of a transfer into a folder that is created when missing.
#pragma once

#include <QObject>
#include <QString>
#include "kxview/kxview_core_export.h"
#include "kxview/updateprompts.h"
#include "kxview/updates.h"

namespace kx {

class DownloadControl;

/// Follows a DownloadControl and tells the texts its status line shows: "开始下载...", "连接到 " + host,
/// "42% of 3M", "取消下载", "错误 - " + code text + ": " + description, "下载失败", "3M完成".
class KXVIEW_CORE_EXPORT DownloadStatus : public QObject {
    Q_OBJECT

public:
    /// Follows `control` while both live.
    explicit DownloadStatus(DownloadControl& control, QObject* parent = nullptr);

signals:
    /// The status line changed to `text`; `repaintNow` when it should be painted at once, before the
    /// transfer goes on.
    void statusChanged(const QString& text, bool repaintNow);
    /// The transfer progressed: the status text and the fraction done (0 to 1).
    void progressed(const QString& text, float fraction);

private:
    void onFailed(qint32 code, const QString& description);
    void onCompleted(qint32 bytes);
};

/// Starts `control` fetching `url` into the folder part of `saveAsFullName` (up to its last separator),
/// creating that folder with its missing parents first, within `limits`; a file of the same name there is
/// replaced once the transfer completes. Throws kx::FileSystemError when the folder cannot be created.
KXVIEW_CORE_EXPORT void startDownload(DownloadControl& control, const QString& url,
                                      const QString& saveAsFullName,
                                      const UpdateLimits& limits = modUpdate::GetUpdateLimits());

/// Fetches `request` as fetchWithoutWindow does, within `limits`, and tells nobody how it goes. True
/// when the file arrived.
KXVIEW_CORE_EXPORT bool fetchQuietly(const FetchRequest& request, const UpdateLimits& limits);

}  // namespace kx
